#pragma once

#include "failure.h"
#include "orbesystem.h"

#include <QString>

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>

class AnswerWatchdog;
class QSqlDatabase;

// Ends every database wait of the program as cancelled, from now on (a signal
// to tarvel-batch). Touches an atomic only, so a signal handler may call it.
void cancelDatabaseWaits();
bool databaseWaitsCancelled();

namespace orbe {
// How long the making of a connection to a server may take: 10 s, or
// TARVEL_CONNECT_WAIT_MS (tests set it short).
int connectWaitMilliseconds();
// How long a statement may go without an answer from a server: 60 s, or
// TARVEL_ANSWER_WAIT_MS.
int answerWaitMilliseconds();
// How long a statement waits for another program's lock: 30 s, or
// TARVEL_LOCK_WAIT_MS (tests set it short). MariaDB counts whole seconds.
int lockWaitMilliseconds(DatabaseSystem system = DatabaseSystem::SQLite);
// How long a cancelled statement gets to end by the database's own cancel
// before Tarvel gives its connection up.
constexpr std::chrono::milliseconds CancelGrace{1000};
} // namespace orbe

// Told while a statement waits for the database longer than a second, about
// once a second: for another program's lock, or for an answer at all (a
// server that says nothing; a lookup that another program's lock holds up
// looks the same from here); and once when that wait has ended. Called from
// the thread that waits or, through ODBC, from the watchdog's: safe from any
// thread.
class WaitObserver
{
public:
    virtual ~WaitObserver() = default;
    virtual void waiting(bool forLock, std::chrono::milliseconds waited) = 0;
    virtual void waitEnded() = 0;
};

// A cancel of one run's waits for its database, and whom the waits tell that
// they go on. Made before the run's connection, so that a cancel reaches the
// making of it too; shared by the connection and whoever may cancel (the
// window's run channel). Safe from any thread; a signal to tarvel-batch
// cancels every wait of the program.
class DatabaseCancel
{
public:
    void request() { m_requested = true; }
    void clear() { m_requested = false; }
    bool requested() const { return m_requested || databaseWaitsCancelled(); }

    // The observer lives as long as the connection, or is taken away first.
    void setObserver(WaitObserver *observer) { m_observer = observer; }
    // A wait that has gone on for waited; told once it passes a second.
    void tellWaiting(std::chrono::milliseconds waited, bool forLock = false);
    // After a statement: a wait that was told has ended.
    void tellWaitEnded();
    // Statements that take another program's lock are on their way (the row's
    // transaction, in turns through SQLite's ODBC driver): their wait is one
    // for that lock, and one wait, however many statements it takes.
    class ExpectingLock
    {
    public:
        explicit ExpectingLock(DatabaseCancel &cancel)
            : m_cancel(cancel)
        {
            m_cancel.m_lockExpected = true;
        }
        ~ExpectingLock()
        {
            m_cancel.m_lockExpected = false;
            m_cancel.tellWaitEnded();
        }
        ExpectingLock(const ExpectingLock &) = delete;
        ExpectingLock &operator=(const ExpectingLock &) = delete;

    private:
        DatabaseCancel &m_cancel;
    };

private:
    std::atomic<bool> m_requested = false;
    std::atomic<WaitObserver *> m_observer = nullptr;
    std::atomic<bool> m_lockExpected = false;
    std::atomic<bool> m_told = false;
};

// How an SQLite connection waits for another program's lock: in short sleeps
// up to the lock wait, and not a moment longer once the wait is cancelled.
// (SQLite's own busy timeout cannot be cancelled.)
class SqliteLockWait
{
public:
    SqliteLockWait(int limitMilliseconds, std::shared_ptr<DatabaseCancel> cancel)
        : m_limit(limitMilliseconds)
        , m_cancel(std::move(cancel))
    {
    }
    // Takes the place of SQLite's busy timeout on an open connection.
    void install(const QSqlDatabase &db);
    int limit() const { return m_limit; }
    // One turn of a wait: true after a short sleep while the limit is not
    // reached and no cancel came. count: the turns taken before, 0 first.
    bool waitOnce(int count);
    // A turn of a wait made of the driver's own short waits (SQLite through
    // ODBC), since started: true after a short sleep while the limit is not
    // reached and no cancel came.
    bool turnSince(std::chrono::steady_clock::time_point started);
    // How long the wait that ended last had gone on.
    int waitedMilliseconds() const { return m_waited; }
    // The wait was given up since this was last asked, because of a cancel.
    bool takeCancelled() { return m_cancelled.exchange(false); }

private:
    static int onBusy(void *wait, int count);

    const int m_limit;
    std::shared_ptr<DatabaseCancel> m_cancel;
    std::chrono::steady_clock::time_point m_since;
    int m_waited = 0;
    std::atomic<bool> m_cancelled = false;
};

// How a wait for the database ended when the database did not end it: the
// run's cancel, or a server that gave no answer in time.
class WaitOutcome
{
public:
    void noteCancelled() { m_cancelled = true; }
    void noteSilent(std::chrono::milliseconds waited) { m_silentAfter = int(waited.count()); }
    bool takeCancelled() { return m_cancelled.exchange(false); }
    // The silent server's cause ("Der Datenbankserver antwortet nicht …"), taken once; else empty.
    QString takeSilentCause();

private:
    std::atomic<bool> m_cancelled = false;
    std::atomic<int> m_silentAfter = 0;
};

// What bounds a connection's waits and lets a cancel end them.
struct DatabaseWaits
{
    explicit DatabaseWaits(std::shared_ptr<DatabaseCancel> runCancel = {});
    ~DatabaseWaits();
    DatabaseWaits(const DatabaseWaits &) = delete;
    DatabaseWaits &operator=(const DatabaseWaits &) = delete;

    std::shared_ptr<DatabaseCancel> cancel;
    std::shared_ptr<WaitOutcome> outcome = std::make_shared<WaitOutcome>();
    // The bounds, as they were when the connection was made.
    const std::chrono::milliseconds connectLimit{orbe::connectWaitMilliseconds()};
    const std::chrono::milliseconds answerLimit{orbe::answerWaitMilliseconds()};
    // An ODBC connection to a server: its socket watched while it waits.
    std::unique_ptr<AnswerWatchdog> watchdog;
    // SQLite: the wait for another program's write lock.
    std::unique_ptr<SqliteLockWait> lock;

    // The failure of a wait that a cancel ended (Cancelled), taken once.
    std::optional<Failure> cancelled();
};
