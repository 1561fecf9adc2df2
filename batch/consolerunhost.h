#pragma once

#include "hostwaits.h"
#include "runhost.h"

#include <QElapsedTimer>
#include <QList>
#include <QString>

#include <atomic>

#include <cstdio>

// The batch program's run host. It writes the log on one stream and messages
// as text lines on another; when that one is a terminal it shows the run's
// progress there as one line rewritten in place. The log goes out after each
// row, once the row is saved (the runs ask cancelRequested() then), before a
// message, and at the end (writeLog): whatever ends the program, the log
// stream never shows a row as saved that is not, and a terminal shows log and
// messages in the order the window would. The runs empty the log only before
// its first line.
class ConsoleRunHost : public RunHost
{
public:
    ConsoleRunHost(const QString &place, std::FILE *log, std::FILE *messages, bool showProgress);
    ~ConsoleRunHost() override;
    ConsoleRunHost(const ConsoleRunHost &) = delete;
    ConsoleRunHost &operator=(const ConsoleRunHost &) = delete;

    // Writes text as lines (CR LF becomes the terminal's line feed), after
    // the log so far and after taking away a progress line.
    void printMessage(const QString &text);

    // Writes what the log stream has not got yet, exactly (UTF-8, CR LF).
    // False once a write to it failed.
    bool writeLog();

    // Shows shown wherever the log or a message names path: a workbook reached
    // through a link appears under its own name.
    void showNamesAs(const QString &path, const QString &shown) { m_shownNames.append({path, shown}); }

    // Writes the counts of the run, unless its closing message carried them.
    void writeSummary();

    // Whether a run showed a warning (the window's exclamation box): the
    // import's log file could not be written, which a scheduled job must see.
    bool warned() const { return m_warned; }

    ImportWindowState &windowState() override { return m_state; }
    void clearLog() override;
    void appendLog(const QString &piece) override { m_log += withShownNames(piece); }
    QString logText() const override { return m_log; }
    void setProgressMaximum(float maximum) override;
    void setProgressValue(float value) override;
    // The button only guards people against importing unchecked workbooks.
    void setImportEnabled(bool) override {}
    void showMessage(const QString &text, const QString &title, MessageIcon icon) override;
    QString placeName() const override { return m_place; }
    // After each row: writes the log so far; true once a signal asked to stop.
    bool cancelRequested() override;
    void showSummary(const RunSummary &summary) override { m_summary = summaryText(summary); }
    void showImportFinished(const QString &text, const QString &logFilePath) override;
    // A wait for the database says so once, when it passes two seconds.
    void showWait(const DatabaseWait &wait) override;
    void endWait() override { m_waitTold = false; }
    // What the run's connection tells of its waits.
    WaitObserver *waitObserver() { return &m_waits; }
    void showLogFileAfterFailure(const QString &path, const QString &failure) override;

private:
    std::atomic<bool> m_waitTold = false;
    HostWaits m_waits{*this};
    QString withShownNames(QString text) const;
    void showProgress();
    void clearProgress();

    const QString m_place;
    std::FILE *const m_logStream;
    std::FILE *const m_messages;
    const bool m_showProgress;
    ImportWindowState m_state;
    QString m_log;
    qsizetype m_logWritten = 0; // characters of m_log on the log stream
    bool m_logFailed = false;
    bool m_warned = false;
    QString m_summary; // not yet written
    QList<std::pair<QString, QString>> m_shownNames;

    long m_progressMaximum = 0;
    long m_progressValue = 0;
    long m_shownValue = -1;
    qsizetype m_progressShown = 0; // the length of the line shown; 0: none
    QElapsedTimer m_sinceShown;
};
