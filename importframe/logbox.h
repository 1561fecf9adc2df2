#pragma once

#include <QPlainTextEdit>
#include <QString>

// The log text box. It keeps the log's exact text (CR LF line breaks, which
// the box itself turns into line feeds) beside what it shows, takes pieces in
// batches while a run goes on, and follows the log's end unless the user has
// scrolled up. Text the user types into it becomes the log.
class LogBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit LogBox(QWidget *parent = nullptr);

    QString logText() const;
    void clearLog();

    // batched: kept back until showPending(), which lays a long log out
    // several times faster than piece by piece.
    void appendLog(const QString &piece, bool batched);
    void showPending();

    // Scrolls so that the log's last line is shown whole.
    void showEnd();

private:
    QString m_log;
    QString m_pending; // appended, not yet in the box
    bool m_typedByUser = false;
    bool m_writing = false;
};
