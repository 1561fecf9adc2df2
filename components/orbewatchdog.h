#pragma once

// Internal to the database component.

#include "orbesocket.h"
#include "orbewaits.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

// Gives up an ODBC connection's wait that gets no answer in time, and ends
// it when the run is cancelled. A driver blocks inside its own calls, and a
// server process that is stopped (or a machine that froze) keeps the TCP
// connection alive, as its kernel still answers keepalives: only the client
// can end the wait, by cutting the connection's socket off, so that the
// waiting call returns with an error. The drivers' own cancels are not used:
// they open a connection of their own to the server and wait for it without
// a bound, and the driver manager lets them through only once the statement
// has ended. The cut comes only after the cancel or the silence is noted, so
// that the run names the right cause.
//
// It knows the connection's socket from the moment it was made (found among
// the program's sockets, orbeodbc.cpp), never asks the driver for it, and
// cuts it only while it is still that socket.
class AnswerWatchdog
{
public:
    AnswerWatchdog(std::chrono::milliseconds limit, std::shared_ptr<DatabaseCancel> cancel,
                   std::shared_ptr<WaitOutcome> outcome);
    ~AnswerWatchdog();
    AnswerWatchdog(const AnswerWatchdog &) = delete;
    AnswerWatchdog &operator=(const AnswerWatchdog &) = delete;

    // One wait: the socket asked for only when the watchdog gives up (a
    // connection being made has none yet), and its bound.
    struct Watch
    {
        std::function<std::optional<SocketIdentity>()> socket;
        std::chrono::milliseconds limit{0};
        std::chrono::steady_clock::time_point armedAt{};
        bool isArmed() const { return bool(socket); }
    };
    // Watches a wait; returns the watch it takes the place of, which
    // restore() puts back, so that nested waits keep the outer one's bound.
    Watch arm(std::function<std::optional<SocketIdentity>()> socket, std::chrono::milliseconds limit);
    void restore(Watch previous);
    std::chrono::milliseconds limit() const { return m_limit; }

private:
    void watch();
    // Under the lock: gives the armed wait up when its time is over.
    void look(std::chrono::steady_clock::time_point now);

    const std::chrono::milliseconds m_limit;
    const std::shared_ptr<DatabaseCancel> m_cancel;
    const std::shared_ptr<WaitOutcome> m_outcome;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Watch m_watch;
    std::optional<std::chrono::steady_clock::time_point> m_cancelNoted;
    bool m_stop = false;
    std::thread m_thread;
};

// Arms the watchdog (if any) on a socket for its lifetime, and puts the
// watch back that it replaced.
class AnswerWatch
{
public:
    AnswerWatch(AnswerWatchdog *watchdog, std::optional<SocketIdentity> socket);
    ~AnswerWatch();
    AnswerWatch(const AnswerWatch &) = delete;
    AnswerWatch &operator=(const AnswerWatch &) = delete;

private:
    AnswerWatchdog *m_watchdog = nullptr;
    AnswerWatchdog::Watch m_previous;
};
