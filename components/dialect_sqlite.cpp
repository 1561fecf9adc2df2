#include "orbedialect.h"

#include "orbeinternal.h"
#include "orbelink.h"
#include "orbesession.h"

namespace {

// SQLite's result codes, of which the low byte is the primary one.
int primaryCode(const QSqlError &error)
{
    return error.nativeErrorCode().toInt() & 0xff;
}
constexpr int Busy = 5, Locked = 6, ReadOnly = 8, Corrupt = 11, Full = 13, Constraint = 19, NotADatabase = 26;

class SqliteDialect final : public OrbeDialect
{
public:
    DatabaseSystem system() const override { return DatabaseSystem::SQLite; }
    QString name() const override { return QStringLiteral("SQLite"); }

    QSqlError startSession(OrbeLink &link) const override
    {
        QSqlError error;
        // Only settings of this session: the file's own journal mode is left
        // as its owner chose it (Tarvel's own files are made with WAL, where
        // NORMAL keeps a commit durable against a crash of the program).
        OrbeRows journal;
        if (!link.run(QStringLiteral("PRAGMA foreign_keys = ON"), {}, false, nullptr, error)
            || !link.run(QStringLiteral("PRAGMA journal_mode"), {}, false, &journal, error))
            return error;
        const bool wal = !journal.rows.empty()
                         && journal.rows.front().value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0;
        if (wal && !link.run(QStringLiteral("PRAGMA synchronous = NORMAL"), {}, false, nullptr, error))
            return error;
        // The schema is read once, so a file that is no database fails here, not later.
        link.run(QStringLiteral("SELECT count(*) FROM sqlite_master"), {}, false, nullptr, error);
        return error;
    }

    bool primaryKey(OrbeSession &session, const QString &table, QStringList &columns, QSqlError &error) const override
    {
        OrbeRows rows;
        if (!session.run(QStringLiteral("SELECT name FROM pragma_table_info(?) WHERE pk > 0 ORDER BY pk"), {table},
                         false, &rows, error, OrbeSession::Repeat::OnLostConnection))
            return false;
        for (const QList<QVariant> &row : rows.rows)
            columns << row.value(0).toString();
        return true;
    }

    bool beginRow(OrbeSession &session, const QString &, QString &, QSqlError &error, QString &failed) const override
    {
        // IMMEDIATE takes the one write lock before the read, and the lock
        // wait lets a second writer wait for it rather than fail. Through
        // ODBC the driver's busy wait is short: the wait for the write lock is
        // this loop's, which a cancel ends.
        SqliteLockWait *wait = session.link().locksWaitInTurns() ? session.waits().lock.get() : nullptr;
        failed = QStringLiteral("BEGIN IMMEDIATE");
        const auto started = std::chrono::steady_clock::now();
        for (;;) {
            if (session.run(failed, error, OrbeSession::Repeat::OnLostConnection))
                return true;
            if (!wait || primaryCode(error) != Busy || !wait->turnSince(started))
                return false;
        }
    }

    bool isReadOnly(const QSqlError &error) const override { return primaryCode(error) == ReadOnly; }

    QString cause(const QSqlError &error, int lockWait) const override
    {
        if (isReadOnly(error))
            return orbe::readOnlyCause();
        switch (primaryCode(error)) {
        case Full:
            return QStringLiteral("Der Datenträger der Datenbank ist voll");
        case Busy:
        case Locked:
            return QStringLiteral("Ein anderes Programm hält die Datenbank gesperrt; Tarvel hat %1 gewartet")
                .arg(orbe::seconds(lockWait));
        case Constraint:
            if (error.databaseText().contains(QLatin1String("FOREIGN KEY")))
                return orbe::foreignKeyCause();
            break;
        case Corrupt:
        case NotADatabase:
            return QStringLiteral("Die Datenbankdatei ist beschädigt oder keine SQLite-Datenbank");
        default:
            break;
        }
        const QString text = error.databaseText() + u' ' + error.driverText();
        if (text.contains(QLatin1String("no such column")) || text.contains(QLatin1String("has no column named"))
            || text.contains(QLatin1String("no such table")))
            return orbe::missingSchemaCause();
        return {};
    }

    // A file has no connection that could go: a statement that fails on it
    // leaves nothing to make again but the connection itself.
    bool connectionLost(const QSqlError &) const override { return true; }
};

} // namespace

const OrbeDialect &sqliteDialect()
{
    static const SqliteDialect dialect;
    return dialect;
}
