#include "orbewaits.h"

#include "orbesession.h"
#include "orbewatchdog.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <thread>

namespace {

std::atomic<bool> allWaitsCancelled = false;

int milliseconds(const char *variable, int otherwise)
{
    bool ok = false;
    const int set = qEnvironmentVariableIntValue(variable, &ok);
    return ok && set > 0 ? set : otherwise;
}

} // namespace

void cancelDatabaseWaits()
{
    allWaitsCancelled = true;
}

bool databaseWaitsCancelled()
{
    return allWaitsCancelled;
}

namespace orbe {

int connectWaitMilliseconds()
{
    return milliseconds("TARVEL_CONNECT_WAIT_MS", 10000);
}

int answerWaitMilliseconds()
{
    return milliseconds("TARVEL_ANSWER_WAIT_MS", 60000);
}

int lockWaitMilliseconds(DatabaseSystem system)
{
    const int wait = milliseconds("TARVEL_LOCK_WAIT_MS", 30000);
    return system == DatabaseSystem::MariaDB ? (wait + 999) / 1000 * 1000 : wait;
}

} // namespace orbe

void DatabaseCancel::tellWaiting(std::chrono::milliseconds waited, bool forLock)
{
    WaitObserver *observer = m_observer;
    if (!observer || waited < std::chrono::seconds(1))
        return;
    m_told = true;
    observer->waiting(forLock || m_lockExpected, waited);
}

void DatabaseCancel::tellWaitEnded()
{
    WaitObserver *observer = m_observer;
    if (!m_lockExpected && m_told.exchange(false) && observer)
        observer->waitEnded();
}

void SqliteLockWait::install(const QSqlDatabase &db)
{
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (qstrcmp(handle.typeName(), "sqlite3*") == 0)
        sqlite3_busy_handler(*static_cast<sqlite3 *const *>(handle.constData()), &SqliteLockWait::onBusy, this);
}

int SqliteLockWait::onBusy(void *wait, int count)
{
    return static_cast<SqliteLockWait *>(wait)->waitOnce(count) ? 1 : 0;
}

bool SqliteLockWait::waitOnce(int count)
{
    const auto now = std::chrono::steady_clock::now();
    if (count == 0)
        m_since = now;
    return turnSince(m_since);
}

bool SqliteLockWait::turnSince(std::chrono::steady_clock::time_point started)
{
    m_waited = int(std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started).count());
    if (m_cancel)
        m_cancel->tellWaiting(std::chrono::milliseconds(m_waited), true);
    if (m_cancel && m_cancel->requested()) {
        m_cancelled = true;
        return false;
    }
    if (m_waited >= m_limit)
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return true;
}

QString WaitOutcome::takeSilentCause()
{
    const int waited = m_silentAfter.exchange(0);
    if (waited == 0)
        return {};
    return QStringLiteral("Der Datenbankserver antwortet nicht; Tarvel hat %1 gewartet").arg(orbe::seconds(waited));
}

DatabaseWaits::DatabaseWaits(std::shared_ptr<DatabaseCancel> runCancel)
    : cancel(runCancel ? std::move(runCancel) : std::make_shared<DatabaseCancel>())
{
}

DatabaseWaits::~DatabaseWaits() = default;

std::optional<Failure> DatabaseWaits::cancelled()
{
    const bool waitCancelled = outcome->takeCancelled();
    const bool lockCancelled = lock && lock->takeCancelled();
    if (!waitCancelled && !lockCancelled)
        return std::nullopt;
    return Failure(ErrorNumber::Cancelled, ErrorSource::Database,
                   QStringLiteral("Abgebrochen, während Tarvel auf die Datenbank wartete."));
}
