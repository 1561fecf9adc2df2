#pragma once

#include <QList>
#include <QString>

class QSqlDatabase;
class QSqlDriver;
struct pg_conn;

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// Gives up a PostgreSQL connection whose statement gets no answer in time. A
// server process that is stopped (or a machine that froze) keeps the TCP
// connection alive, as its kernel still answers keepalives, and it cannot act
// on timeouts of its own: only the client can end the wait. The watchdog's
// thread cuts the connection's socket off, so that the waiting call returns
// with an error. It watches the making of a connection too (the driver's own
// set-up statements), and it ends a wait at once, as cancelled, when the user
// cancels the run.
class AnswerWatchdog
{
public:
    explicit AnswerWatchdog(std::chrono::milliseconds limit);
    ~AnswerWatchdog();
    AnswerWatchdog(const AnswerWatchdog &) = delete;
    AnswerWatchdog &operator=(const AnswerWatchdog &) = delete;

    // Watches a wait on a connection's socket. socket() is asked on the
    // watchdog's thread only when it gives up, so that a connection still
    // being made, whose socket the driver has not told yet, can be watched.
    void arm(std::function<int()> socket);
    // The same with a limit of its own (a connection being made).
    void arm(std::function<int()> socket, std::chrono::milliseconds limit);
    std::chrono::milliseconds limit() const { return m_limit; }
    // The limit of the wait watched last.
    std::chrono::milliseconds armedLimit() const { return m_armedLimit; }
    void disarm();
    // The socket of a connection whose driver does not tell it (ODBC), found
    // when it was made; -1 when unknown.
    void setConnectionSocket(int socket) { m_connectionSocket = socket; }
    int connectionSocket() const { return m_connectionSocket; }
    // The watchdog gave up a connection since this was last asked, because no
    // answer came in time, or because the wait was cancelled.
    bool takeFired() { return m_fired.exchange(false); }
    bool takeCancelled() { return m_cancelled.exchange(false); }
    // Ends the waits of this connection from now on as cancelled. Touches an
    // atomic only, so a signal handler may call it.
    void cancel() { m_cancelRequested = true; }
    void clearCancel() { m_cancelRequested = false; }

private:
    void watch();

    const std::chrono::milliseconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::function<int()> m_socket; // armed while set
    std::chrono::steady_clock::time_point m_armedAt;
    std::atomic<std::chrono::milliseconds> m_armedLimit;
    bool m_stop = false;
    std::atomic<bool> m_fired = false;
    std::atomic<bool> m_cancelled = false;
    std::atomic<bool> m_cancelRequested = false;
    int m_connectionSocket = -1;
    std::thread m_thread;
};

// Ends every database wait of the program as cancelled, from now on (a signal
// to tarvel-batch). Touches an atomic only, so a signal handler may call it.
void cancelDatabaseWaits();
bool databaseWaitsCancelled();

// The libpq connection behind a PostgreSQL connection of the driver, else nullptr.
pg_conn *libpqConnection(const QSqlDatabase &db);
pg_conn *libpqConnection(const QSqlDriver *driver);

// Ends a connection's socket so that a call blocked on it returns with an
// error. One per platform: POSIX shuts it down and leaves the descriptor to
// its owner; Windows closes it.
void cutOffSocket(int socket);
// The sockets the program has open now; empty where the platform cannot tell.
QList<int> openSockets();

// Arms the watchdog (if any) on the connection's socket for its lifetime;
// nested watches leave the outermost one in charge.
class AnswerWatch
{
public:
    AnswerWatch(AnswerWatchdog *watchdog, const QString &connectionName);
    ~AnswerWatch();
    AnswerWatch(const AnswerWatch &) = delete;
    AnswerWatch &operator=(const AnswerWatch &) = delete;

private:
    AnswerWatchdog *m_watchdog = nullptr;
    bool m_counted = false;
};
