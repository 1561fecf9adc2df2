#include "orbedialect.h"

#include "orbeinternal.h"
#include "orbelink.h"
#include "orbesession.h"

#include <QRegularExpression>

namespace {

class MariaDbDialect final : public OrbeDialect
{
public:
    DatabaseSystem system() const override { return DatabaseSystem::MariaDB; }
    QString name() const override { return QStringLiteral("MariaDB"); }

    QSqlError startSession(OrbeLink &link) const override
    {
        // Row locks and table locks alike; the server counts whole seconds.
        // Strict for this session, whatever the server's mode: a value a
        // column cannot hold is refused, not clipped to what fits.
        QSqlError error;
        link.run(QStringLiteral("SET SESSION innodb_lock_wait_timeout = %1, lock_wait_timeout = %1, "
                                "sql_mode = CONCAT_WS(',', NULLIF(@@SESSION.sql_mode, ''), 'STRICT_ALL_TABLES')")
                     .arg(orbe::lockWaitMilliseconds(DatabaseSystem::MariaDB) / 1000),
                 {}, false, nullptr, error);
        return error;
    }

    // Should a driver connect again by itself (Tarvel turns AUTO_RECONNECT
    // off, but a driver that takes the first of a keyword keeps the user's),
    // the new session has neither the row's lock nor the session's settings:
    // it is told by its id and taken for a lost one.
    QString sessionIdentityQuery() const override { return QStringLiteral("SELECT CONNECTION_ID()"); }

    QString statement(const QString &sql) const override
    {
        // MariaDB casts to SIGNED, not to BIGINT; both hold 64 bits.
        static const QRegularExpression bigint(QStringLiteral(R"(\bAS\s+BIGINT\s*\))"),
                                               QRegularExpression::CaseInsensitiveOption);
        if (!sql.contains(QLatin1String("BIGINT"), Qt::CaseInsensitive))
            return sql;
        return QString(sql).replace(bigint, QStringLiteral("AS SIGNED)"));
    }

    QVariant bindable(const QVariant &value) const override
    {
        // Qt binds a text with its terminating NUL counted; MariaDB keeps that
        // NUL, so "Rehwild" would find nothing. As UTF-8 bytes it arrives as it is.
        if (value.typeId() == QMetaType::QString && !value.isNull())
            return value.toString().toUtf8();
        return value;
    }

    bool primaryKey(OrbeSession &session, const QString &table, QStringList &columns, QSqlError &error) const override
    {
        // The driver's catalogue function finds no primary key here.
        OrbeRows rows;
        if (!session.run(QStringLiteral("SELECT COLUMN_NAME FROM information_schema.KEY_COLUMN_USAGE WHERE TABLE_SCHEMA = "
                                        "DATABASE() AND TABLE_NAME = ? AND CONSTRAINT_NAME = 'PRIMARY' ORDER BY "
                                        "ORDINAL_POSITION"),
                         {table}, false, &rows, error, OrbeSession::Repeat::OnLostConnection))
            return false;
        for (const QList<QVariant> &row : rows.rows)
            columns << row.value(0).toString();
        return true;
    }

    QString insertOfDefaults(const QString &table) const override
    {
        return QStringLiteral("INSERT INTO %1 () VALUES ()").arg(table);
    }
    bool updateCountsFoundRows() const override { return false; }

    bool beginRow(OrbeSession &session, const QString &table, QString &lockHeld, QSqlError &error,
                  QString &failed) const override
    {
        // A named lock of the table keeps other imports out (a table lock
        // would end the transaction); InnoDB's row locks keep other writers'
        // rows apart, and the read after the lock sees what earlier ones
        // committed.
        const QString lockName = QStringLiteral("CONCAT(DATABASE(), '.%1')").arg(table);
        // The session's id rides along: no round trip more.
        failed = QStringLiteral("SELECT GET_LOCK(%1, %2), CONNECTION_ID()")
                     .arg(lockName, QString::number(session.lockWait() / 1000.0));
        OrbeRows taken;
        if (!session.run(failed, {}, false, &taken, error, OrbeSession::Repeat::OnLostConnection))
            return false;
        if (!taken.rows.empty() && taken.rows.front().value(1) != session.identity()) {
            // Taken on a session the driver made silently: let go, made
            // again as after a lost connection, taken once more there.
            QSqlError ignored;
            session.run(QStringLiteral("DO RELEASE_LOCK(%1)").arg(lockName), ignored);
            if (!session.replaceLostSession(error))
                return false;
            taken = {};
            if (!session.run(failed, {}, false, &taken, error))
                return false;
        }
        if (taken.rows.empty() || taken.rows.front().value(0).toInt() != 1) {
            // Given up after the lock wait, as the server words a row lock's.
            error = QSqlError(QString(), QStringLiteral("Lock wait timeout exceeded"), QSqlError::StatementError,
                              QStringLiteral("1205"));
            return false;
        }
        lockHeld = lockName;
        failed = QStringLiteral("START TRANSACTION");
        return session.run(failed, error);
    }

    void releaseRowLock(OrbeSession &session, QString &lockHeld) const override
    {
        if (lockHeld.isEmpty())
            return;
        QSqlError ignored;
        session.run(QStringLiteral("DO RELEASE_LOCK(%1)").arg(lockHeld), ignored);
        lockHeld.clear();
    }

    bool isReadOnly(const QSqlError &error) const override
    {
        // --read-only server, read-only transaction, read-only InnoDB
        const QString code = error.nativeErrorCode();
        return code == QLatin1String("1290") || code == QLatin1String("1792") || code == QLatin1String("1874");
    }

    QString cause(const QSqlError &error, int lockWait) const override
    {
        if (isReadOnly(error))
            return orbe::readOnlyCause();
        switch (error.nativeErrorCode().toInt()) {
        case 1205: // lock wait timeout
            return QStringLiteral("Ein anderes Programm hält die Tabelle gesperrt; Tarvel hat %1 gewartet")
                .arg(orbe::seconds(lockWait));
        case 1021: // disk full
        case 1114: // table full
            return QStringLiteral("Der Datenträger der Datenbank ist voll");
        case 1044: // no access to the database
        case 1142: // table command denied
        case 1143: // column command denied
            return QStringLiteral("Dem Datenbankbenutzer fehlt die Berechtigung dafür");
        case 1217: // a row another table refers to
        case 1451:
            return orbe::referredToCause();
        case 1216: // a reference to a row that is not there
        case 1452:
            return orbe::refersToMissingCause();
        case 1045: // access denied for user
            return QStringLiteral("Der Server nimmt Benutzer oder Passwort nicht an");
        case 1049: // unknown database
            return QStringLiteral("Die Datenbank gibt es auf dem Server nicht");
        case 1054: // unknown column
        case 1146: // no such table
            return orbe::missingSchemaCause();
        case 1366: // incorrect value for the column
            return orbe::wrongTypeCause();
        case 1264: // out of range for the column
        case 1406: // too long for the column
            return orbe::valueDoesNotFitCause();
        case 2002: // no connection through the socket
        case 2003: // no connection to the host
            return QStringLiteral("Der Datenbankserver ist nicht zu erreichen");
        default:
            return {};
        }
    }

    bool connectionLost(const QSqlError &error) const override
    {
        // The client library's numbers for a connection that is gone.
        static const QStringList gone{QStringLiteral("2002"), QStringLiteral("2003"), QStringLiteral("2006"),
                                      QStringLiteral("2013"), QStringLiteral("2055"), QStringLiteral("4031")};
        const QString code = error.nativeErrorCode();
        return code.isEmpty() || gone.contains(code);
    }
};

} // namespace

const OrbeDialect &mariaDbDialect()
{
    static const MariaDbDialect dialect;
    return dialect;
}
