#pragma once

#include "orbeerrorreport.h"
#include "runhost.h"

#include <QList>
#include <QString>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>

class DatabaseCancel;

// What a run on its own thread has told its window and the window has not
// shown yet. The window takes it about ten times a second: the log in pieces,
// the progress as it stands then.
struct RunOutput
{
    bool logCleared = false; // the log was emptied before `log`
    QString log;             // appended since
    std::optional<float> progressMaximum;
    std::optional<float> progressValue;
    std::optional<bool> importEnabled;
    std::optional<RunSummary> summary;
    // A wait for the database that goes on, as the bar says it; empty: it is over.
    std::optional<QString> wait;
};

// A message of the run; the window shows it when the run has ended.
struct RunMessage
{
    QString text;
    QString title;
    MessageIcon icon = MessageIcon::Information;
    QString logFilePath; // the import's closing message: the file it offers to open
};

// How a run ended: what the window shows once the run's thread is done.
struct RunEnding
{
    bool import = false;
    QList<RunMessage> messages;
    std::optional<ErrorReportEntry> failure;
    bool logFileKnown = false; // a failed import's log file: written to logFilePath, or logFileFailure
    QString logFilePath;
    QString logFileFailure;
};

// Between a run on its own thread and its window, which share nothing else:
// the output, the ending, the cancel (which reaches the run's database
// connection from the moment it is being made) and a question the run waits
// on. Safe from both threads.
class RunChannel
{
public:
    RunChannel();

    // The window's side.
    RunOutput takeOutput();
    RunEnding takeEnding();
    // Asks the run to stop after its row and ends its waits for the database.
    void cancel();
    std::optional<QString> question() const;
    void answer(bool yes);
    // The window goes: cancels, and answers a question no.
    void abandon();

    // The run's side.
    bool cancelRequested() const { return m_cancel; }
    // What the run's database connection waits on; a cancel ends its waits.
    const std::shared_ptr<DatabaseCancel> &databaseCancel() const { return m_databaseCancel; }
    // Waits until the window answers; no once it has gone.
    bool ask(const QString &question);
    template <typename Change>
    void change(Change &&change)
    {
        const std::lock_guard lock(m_mutex);
        change(m_output, m_ending);
    }

    // Error reports made on a run's thread belong to its run, as long as
    // such an object lives there: the window shows them when the run has ended.
    class ReportsHere
    {
    public:
        explicit ReportsHere(RunChannel &channel);
        ~ReportsHere();
        ReportsHere(const ReportsHere &) = delete;
        ReportsHere &operator=(const ReportsHere &) = delete;
    };
    // Keeps the report for the run of this thread; false on any other thread.
    static bool takeReport(const ErrorReportEntry &entry);

private:
    mutable std::mutex m_mutex;
    std::condition_variable m_answered;
    RunOutput m_output;
    RunEnding m_ending;
    std::atomic<bool> m_cancel = false;
    const std::shared_ptr<DatabaseCancel> m_databaseCancel;
    std::optional<QString> m_question;
    std::optional<bool> m_answer;
    bool m_abandoned = false;
};

// The run host of a run on its own thread: it keeps the log the run reads
// back and hands everything else to the channel, to be shown in batches.
class WindowRunHost : public RunHost
{
public:
    WindowRunHost(RunChannel &channel, QString place, ImportWindowState state, QString logSoFar);

    ImportWindowState &windowState() override { return m_state; }
    void clearLog() override;
    void appendLog(const QString &piece) override;
    QString logText() const override { return m_log; }
    void setProgressMaximum(float maximum) override;
    void setProgressValue(float value) override;
    void setImportEnabled(bool enabled) override;
    void showMessage(const QString &text, const QString &title, MessageIcon icon) override;
    QString placeName() const override { return m_place; }
    bool cancelRequested() override { return m_channel.cancelRequested(); }
    void showSummary(const RunSummary &summary) override;
    void showLogFileAfterFailure(const QString &path, const QString &failure) override;
    void showImportFinished(const QString &text, const QString &logFilePath) override;
    void showWait(const DatabaseWait &wait) override;
    void endWait() override;

private:
    RunChannel &m_channel;
    const QString m_place;
    ImportWindowState m_state;
    QString m_log;
};
