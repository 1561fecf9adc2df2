#include "orbewatchdog.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>

namespace {

std::atomic<bool> allWaitsCancelled = false;

// A cancelled statement gets this long to finish on its own: a cancel stops a
// run after the row it is in, and only a wait beyond that is cut short.
constexpr std::chrono::milliseconds CancelGrace{1000};

} // namespace

void cancelDatabaseWaits()
{
    allWaitsCancelled = true;
}

bool databaseWaitsCancelled()
{
    return allWaitsCancelled;
}

AnswerWatchdog::AnswerWatchdog(std::chrono::milliseconds limit)
    : m_limit(limit)
    , m_armedLimit(limit)
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
// statement would cost more than the statements. The thread looks ten times a
// second, so a cancel ends a wait at once and a silent server is given up
// within a tenth of a second after the limit.
void AnswerWatchdog::arm(std::function<int()> socket)
{
    arm(std::move(socket), m_limit);
}

void AnswerWatchdog::arm(std::function<int()> socket, std::chrono::milliseconds limit)
{
    std::lock_guard lock(m_mutex);
    m_socket = std::move(socket);
    m_armedAt = std::chrono::steady_clock::now();
    m_armedLimit = limit;
}

void AnswerWatchdog::disarm()
{
    std::lock_guard lock(m_mutex);
    m_socket = nullptr;
}

void AnswerWatchdog::watch()
{
    const auto look = std::min(m_limit / 4, std::chrono::milliseconds(100));
    std::unique_lock lock(m_mutex);
    while (!m_changed.wait_for(lock, look, [this] { return m_stop; })) {
        if (!m_socket)
            continue;
        const auto waited = std::chrono::steady_clock::now() - m_armedAt;
        const bool cancelled = (m_cancelRequested || databaseWaitsCancelled()) && waited >= CancelGrace;
        if (!cancelled && waited < m_armedLimit.load())
            continue;
        // A connection being made has no socket yet: looked at again.
        const int socket = m_socket();
        if (socket < 0)
            continue;
        cutOffSocket(socket);
        m_socket = nullptr;
        (cancelled ? m_cancelled : m_fired) = true;
    }
}

namespace {
thread_local int watchDepth = 0;
}

PGconn *libpqConnection(const QSqlDriver *driver)
{
    const QVariant handle = driver ? driver->handle() : QVariant();
    // The driver's handle is its PGconn, named by the struct behind the typedef.
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0)
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

PGconn *libpqConnection(const QSqlDatabase &db)
{
    return libpqConnection(db.driver());
}

AnswerWatch::AnswerWatch(AnswerWatchdog *watchdog, const QString &connectionName)
{
    if (!watchdog)
        return;
    m_counted = true;
    if (watchDepth++ > 0)
        return;
    PGconn *connection = libpqConnection(QSqlDatabase::database(connectionName, false));
    if (const int socket = connection ? PQsocket(connection) : watchdog->connectionSocket(); socket >= 0) {
        m_watchdog = watchdog;
        m_watchdog->arm([socket] { return socket; });
    }
}

AnswerWatch::~AnswerWatch()
{
    if (m_watchdog)
        m_watchdog->disarm();
    if (m_counted)
        --watchDepth;
}
