#pragma once

#include <QString>

class QSqlDatabase;
struct pg_conn;

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

// Gives up a PostgreSQL connection whose statement gets no answer in time. A
// server process that is stopped (or a machine that froze) keeps the TCP
// connection alive, as its kernel still answers keepalives, and it cannot act
// on timeouts of its own: only the client can end the wait. The watchdog's
// thread shuts the connection's socket down, so that the waiting call returns
// with an error.
class AnswerWatchdog
{
public:
    explicit AnswerWatchdog(std::chrono::milliseconds limit);
    ~AnswerWatchdog();
    AnswerWatchdog(const AnswerWatchdog &) = delete;
    AnswerWatchdog &operator=(const AnswerWatchdog &) = delete;

    void arm(int socket);
    void disarm();
    // The watchdog gave up a connection since this was last asked.
    bool takeFired() { return m_fired.exchange(false); }

private:
    void watch();

    const std::chrono::milliseconds m_limit;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    int m_socket = -1; // armed while not -1
    std::chrono::steady_clock::time_point m_deadline;
    bool m_stop = false;
    std::atomic<bool> m_fired = false;
    std::thread m_thread;
};

// The libpq connection behind a PostgreSQL connection of the driver, else nullptr.
pg_conn *libpqConnection(const QSqlDatabase &db);

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
