#include "orbewaits.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <sqlite3.h>

#include <thread>

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
    if (m_cancelRequested || databaseWaitsCancelled()) {
        m_cancelled = true;
        return false;
    }
    if (now - m_since >= std::chrono::milliseconds(m_limit))
        return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return true;
}

void DatabaseWaits::cancel()
{
    if (watchdog)
        watchdog->cancel();
    if (lock)
        lock->cancel();
}

void DatabaseWaits::clearCancel()
{
    if (watchdog)
        watchdog->clearCancel();
    if (lock)
        lock->clearCancel();
}

std::optional<Failure> DatabaseWaits::cancelled()
{
    const bool watchdogCancelled = watchdog && watchdog->takeCancelled();
    const bool lockCancelled = lock && lock->takeCancelled();
    if (!watchdogCancelled && !lockCancelled)
        return std::nullopt;
    return Failure(ErrorNumber::Cancelled, ErrorSource::Database,
                   QStringLiteral("Abgebrochen, während Tarvel auf die Datenbank wartete."));
}
