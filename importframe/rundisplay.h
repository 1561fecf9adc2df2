#pragma once

#include <QString>

class LogBox;
class QWidget;
class SummaryBar;
struct RunEnding;
struct RunMessage;
struct RunOutput;

// What a window shows of its runs: the log and the progress as they come,
// the summary on the progress bar, and at a run's end its messages and its
// error box. A failed run's bar stands at its start again, with the counts
// so far.
class RunDisplay
{
public:
    RunDisplay(QWidget *window, LogBox *log, SummaryBar *bar);

    // An empty bar without text.
    void reset();
    // The bar counts rows in format ("%v of %m"), once the run says how many.
    void begin(const QString &format);
    // The log, the progress and the summary of the output.
    void show(const RunOutput &output);
    // layoutNote: what differs in a workbook that fits, after the summary.
    void end(const RunEnding &ending, const QString &layoutNote = QString());

private:
    void setMaximum(float maximum);
    void setValue(float value);
    void showImportFinished(const RunMessage &message);

    QWidget *const m_window;
    LogBox *const m_log;
    SummaryBar *const m_bar;
    float m_value = 0;
    QString m_summary;
    QString m_format; // the run's count of rows, as the bar shows it
};
