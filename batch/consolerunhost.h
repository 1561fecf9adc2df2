#pragma once

#include "runhost.h"

#include <QElapsedTimer>
#include <QString>

#include <cstdio>

// The batch program's run host. It keeps the log for standard output and
// writes messages as text lines on a message stream; when that stream is a
// terminal it shows the run's progress there as one line rewritten in place.
class ConsoleRunHost : public RunHost
{
public:
    ConsoleRunHost(const QString &place, std::FILE *messages, bool showProgress);
    ~ConsoleRunHost() override;
    ConsoleRunHost(const ConsoleRunHost &) = delete;
    ConsoleRunHost &operator=(const ConsoleRunHost &) = delete;

    // Writes text as lines (CR LF becomes the terminal's line feed), after
    // taking away a progress line.
    void printMessage(const QString &text);

    ImportWindowState &windowState() override { return m_state; }
    void clearLog() override { m_log.clear(); }
    void appendLog(const QString &piece) override { m_log += piece; }
    QString logText() const override { return m_log; }
    void setProgressMaximum(float maximum) override;
    void setProgressValue(float value) override;
    // The button only guards people against importing unchecked workbooks.
    void setImportEnabled(bool) override {}
    void showMessage(const QString &text, const QString &title, MessageIcon icon) override;
    QString placeName() const override { return m_place; }

private:
    void showProgress();
    void clearProgress();

    const QString m_place;
    std::FILE *const m_messages;
    const bool m_showProgress;
    ImportWindowState m_state;
    QString m_log;

    long m_progressMaximum = 0;
    long m_progressValue = 0;
    long m_shownValue = -1;
    bool m_progressShown = false;
    QElapsedTimer m_sinceShown;
};
