#include "orbewatchdog.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>
#include <sys/socket.h>

AnswerWatchdog::AnswerWatchdog(std::chrono::milliseconds limit)
    : m_limit(limit)
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
// statement would cost more than the statements. The thread looks every
// quarter of the limit, so it gives up between one and one and a quarter limits.
void AnswerWatchdog::arm(int socket)
{
    std::lock_guard lock(m_mutex);
    m_socket = socket;
    m_deadline = std::chrono::steady_clock::now() + m_limit;
}

void AnswerWatchdog::disarm()
{
    std::lock_guard lock(m_mutex);
    m_socket = -1;
}

void AnswerWatchdog::watch()
{
    std::unique_lock lock(m_mutex);
    while (!m_changed.wait_for(lock, m_limit / 4, [this] { return m_stop; })) {
        if (m_socket >= 0 && std::chrono::steady_clock::now() >= m_deadline) {
            // Shut down, not closed: the descriptor stays the driver's.
            ::shutdown(m_socket, SHUT_RDWR);
            m_socket = -1;
            m_fired = true;
        }
    }
}

namespace {
thread_local int watchDepth = 0;
}

PGconn *libpqConnection(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    // The driver's handle is its PGconn, named by the struct behind the typedef.
    if (qstrcmp(handle.typeName(), "pg_conn*") != 0 && qstrcmp(handle.typeName(), "PGconn*") != 0)
        return nullptr;
    return *static_cast<PGconn *const *>(handle.constData());
}

AnswerWatch::AnswerWatch(AnswerWatchdog *watchdog, const QString &connectionName)
{
    if (!watchdog)
        return;
    m_counted = true;
    if (watchDepth++ > 0)
        return;
    PGconn *connection = libpqConnection(QSqlDatabase::database(connectionName, false));
    if (const int socket = connection ? PQsocket(connection) : -1; socket >= 0) {
        m_watchdog = watchdog;
        m_watchdog->arm(socket);
    }
}

AnswerWatch::~AnswerWatch()
{
    if (m_watchdog)
        m_watchdog->disarm();
    if (m_counted)
        --watchDepth;
}
