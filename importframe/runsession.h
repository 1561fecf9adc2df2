#pragma once

#include "orbebase.h"
#include "runchannel.h"
#include "runthread.h"
#include "workbooklayout.h"

#include <QObject>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

class Failure;
class QPushButton;
class QWidget;

// The failure of handing a window a database object that is not there
// (run-time error 91).
Failure objectNotSet();

// One run of a window, as the window starts it.
struct RunJob
{
    bool import = false;
    std::function<bool(RunHost &)> run;
    WorkbookKind kind = WorkbookKind::District;
    QString place;                              // the window's name, for failures
    ImportWindowState state;                    // the workbook; the run opens a connection of its own
    std::optional<DatabaseLocation> database;   // where it opens it; nothing: no database object
    QString logSoFar;                           // a run that fails before its log begins keeps it
};

// A window's runs beside the window. Each run goes on a thread of its own
// with a database connection of its own, so that the window stays
// responsive through every wait of the run. The session first compares the
// workbook's row 1 with the window's kind and asks before a run of a workbook
// that does not fit. During a run the window shows the busy cursor, the focus
// is on "Abbrechen", and what the run tells arrives about ten times a second
// (outputReady); afterwards the focus goes back to the button that started
// it, or to the fallback where that is disabled.
class RunSession : public QObject
{
    Q_OBJECT

public:
    RunSession(QWidget *window, QPushButton *cancelButton, QPushButton *fallback);
    // A run still going is cancelled and waited for.
    ~RunSession() override;

    void start(RunJob job, QPushButton *starter);
    bool isRunning() const { return m_thread.isStarted(); }
    // "Abbrechen", Escape, closing the window: asks "Lauf abbrechen?"; yes
    // stops the run after its row, or at once where it waits for the
    // database, and thenClose closes the window once it has stopped.
    void askToCancel(bool thenClose);
    // The program ends: cancels the run without asking; its end shows no
    // messages and no error box (the run still logs the cancel and writes
    // its log file).
    void cancelQuietly();

signals:
    void runningChanged(bool running);
    void outputReady(RunOutput *output);
    // After the last output; the window shows the ending's messages.
    void ended(RunEnding *ending);

private:
    void poll();
    void askPendingQuestion();
    void finish();

    QWidget *const m_window;
    QPushButton *const m_cancelButton;
    QPushButton *const m_fallback;
    QPointer<QPushButton> m_starter;
    std::shared_ptr<RunChannel> m_channel;
    RunThread m_thread;
    QTimer m_poll;
    bool m_asking = false;     // a question is open: what the run sends waits for it
    bool m_closeAfter = false;
    bool m_quiet = false;
};
