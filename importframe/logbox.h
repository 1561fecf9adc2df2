#pragma once

#include <QPlainTextEdit>
#include <QString>

// The log text box. It keeps the log's exact text (CR LF line breaks, which
// the box itself turns into line feeds) beside what it shows, and follows the
// log's end unless the user has scrolled up. Text the user types into it
// becomes the log.
class LogBox : public QPlainTextEdit
{
    Q_OBJECT

public:
    explicit LogBox(QWidget *parent = nullptr);

    QString logText() const;
    void clearLog();

    // A run's pieces come in batches: laid out at once, a long log takes a
    // fraction of the time it takes piece by piece.
    void appendLog(const QString &piece);

    // Scrolls so that the log's last line is shown whole.
    void showEnd();

private:
    QString m_log;
    bool m_typedByUser = false;
    bool m_writing = false;
};
