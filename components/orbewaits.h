#pragma once

#include "failure.h"
#include "orbewatchdog.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>

class QSqlDatabase;

// How an SQLite connection waits for another program's lock: in short sleeps
// up to the lock wait, and not a moment longer once the wait is cancelled.
// (SQLite's own busy timeout cannot be cancelled.)
class SqliteLockWait
{
public:
    explicit SqliteLockWait(int limitMilliseconds)
        : m_limit(limitMilliseconds)
    {
    }
    // Takes the place of SQLite's busy timeout on an open connection.
    void install(const QSqlDatabase &db);
    int limit() const { return m_limit; }
    // One turn of a wait: true after a short sleep while the limit is not
    // reached and no cancel came. count: the turns taken before, 0 first.
    bool waitOnce(int count);
    void cancel() { m_cancelRequested = true; }
    void clearCancel() { m_cancelRequested = false; }
    // The wait was given up since this was last asked, because of a cancel.
    bool takeCancelled() { return m_cancelled.exchange(false); }

private:
    static int onBusy(void *wait, int count);

    const int m_limit;
    std::chrono::steady_clock::time_point m_since;
    std::atomic<bool> m_cancelRequested = false;
    std::atomic<bool> m_cancelled = false;
};

// What bounds a connection's waits, and lets a cancel end them: the answer
// watchdog of a PostgreSQL connection, the lock wait of an SQLite one.
struct DatabaseWaits
{
    std::unique_ptr<AnswerWatchdog> watchdog;
    std::unique_ptr<SqliteLockWait> lock;

    // Ends the connection's waits from now on as cancelled; safe from any thread.
    void cancel();
    void clearCancel();
    // The failure of a wait that a cancel ended (Cancelled), taken once.
    std::optional<Failure> cancelled();
};
