#include "orbewatchdog.h"

namespace {
using Clock = std::chrono::steady_clock;
} // namespace

std::timed_mutex &socketBirth()
{
    static std::timed_mutex mutex;
    return mutex;
}

AnswerWatchdog::AnswerWatchdog(std::chrono::milliseconds limit, std::shared_ptr<DatabaseCancel> cancel,
                               std::shared_ptr<WaitOutcome> outcome)
    : m_limit(limit)
    , m_cancel(std::move(cancel))
    , m_outcome(std::move(outcome))
    , m_thread([this] { watch(); })
{
}

AnswerWatchdog::~AnswerWatchdog()
{
    {
        std::lock_guard lock(m_mutex);
        m_stop = true;
    }
    m_changed.notify_one();
    m_thread.join();
}

// Arming and disarming only set the watch: waking the thread for every
// statement would cost more than the statements. The thread looks twenty
// times a second, so a cancel ends a wait within about a second and a silent
// server is given up soon after the limit.
AnswerWatchdog::Watch AnswerWatchdog::arm(std::function<std::optional<SocketIdentity>()> socket,
                                          std::chrono::milliseconds limit)
{
    std::lock_guard lock(m_mutex);
    Watch previous = std::exchange(m_watch, Watch{std::move(socket), limit, Clock::now()});
    m_cancelNoted.reset();
    return previous;
}

void AnswerWatchdog::restore(Watch previous)
{
    std::lock_guard lock(m_mutex);
    m_watch = std::move(previous);
    m_cancelNoted.reset();
}

void AnswerWatchdog::watch()
{
    const auto turn = std::min(m_limit / 4, std::chrono::milliseconds(50));
    std::unique_lock lock(m_mutex);
    while (!m_changed.wait_for(lock, turn, [this] { return m_stop; }))
        look(Clock::now());
}

void AnswerWatchdog::look(Clock::time_point now)
{
    if (!m_watch.isArmed())
        return;
    if (m_cancel)
        m_cancel->tellWaiting(std::chrono::duration_cast<std::chrono::milliseconds>(now - m_watch.armedAt));
    // A cancel leaves the wait a moment to end on its own (a run stops after
    // its row); the cause is noted before the socket is cut, so that the run
    // that wakes up reads it.
    const bool cancelled = m_cancel && m_cancel->requested() && now - m_watch.armedAt >= orbe::CancelGrace;
    if (cancelled && !m_cancelNoted) {
        m_outcome->noteCancelled();
        m_cancelNoted = now;
    }
    const bool silent = !cancelled && now - m_watch.armedAt >= m_watch.limit;
    if (!silent && !(m_cancelNoted && now - *m_cancelNoted >= orbe::CancelGrace))
        return;
    // A connection being made may have no socket yet: looked at again.
    const std::optional<SocketIdentity> socket = m_watch.socket();
    if (!socket)
        return;
    if (silent)
        m_outcome->noteSilent(m_watch.limit);
    if (stillOpen(*socket))
        cutOffSocket(socket->socket);
    m_watch = {};
}

AnswerWatch::AnswerWatch(AnswerWatchdog *watchdog, std::optional<SocketIdentity> socket)
{
    if (!watchdog || !socket)
        return;
    m_watchdog = watchdog;
    m_previous = m_watchdog->arm([socket] { return socket; }, m_watchdog->limit());
}

AnswerWatch::~AnswerWatch()
{
    if (m_watchdog)
        m_watchdog->restore(std::move(m_previous));
}
