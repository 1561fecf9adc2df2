#include "orbedialect.h"

#include "orbebase.h"
#include "orbeinternal.h"
#include "orbelink.h"
#include "orbesession.h"

namespace {

class PostgresDialect final : public OrbeDialect
{
public:
    DatabaseSystem system() const override { return DatabaseSystem::PostgreSQL; }
    QString name() const override { return QStringLiteral("PostgreSQL"); }

    QSqlError startSession(OrbeLink &link) const override
    {
        // A commit waits for the server's write-ahead log (its default), so a
        // row the log reports as saved survives a crash of the server. Waits
        // for another session's lock are bounded, as SQLite's busy timeout is.
        // As a query, which a read-only data source lets through too.
        QSqlError error;
        link.run(QStringLiteral("SELECT set_config('lock_timeout', '%1', false)")
                     .arg(orbe::lockWaitMilliseconds(DatabaseSystem::PostgreSQL)),
                 {}, false, nullptr, error);
        return error;
    }

    bool primaryKey(OrbeSession &session, const QString &table, QStringList &columns, QSqlError &error) const override
    {
        // The table as an unquoted name in a statement finds it: folded to lower case.
        OrbeRows rows;
        if (!session.run(QStringLiteral("SELECT a.attname FROM pg_catalog.pg_index i JOIN pg_catalog.pg_attribute a"
                                        " ON a.attrelid = i.indrelid AND a.attnum = ANY(i.indkey)"
                                        " WHERE i.indrelid = to_regclass(?) AND i.indisprimary"
                                        " ORDER BY array_position(i.indkey::int2[], a.attnum)"),
                         {table}, false, &rows, error, OrbeSession::Repeat::OnLostConnection))
            return false;
        for (const QList<QVariant> &row : rows.rows)
            columns << row.value(0).toString();
        return true;
    }

    QStringList rowBegin(const QString &table) const override
    {
        // SHARE ROW EXCLUSIVE conflicts with itself and with every INSERT,
        // UPDATE and DELETE on the table, while plain reads go on; taken
        // before the read, it makes that read see every row an earlier writer
        // committed.
        return {QStringLiteral("BEGIN"), QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(table)};
    }

    bool beginRow(OrbeSession &session, const QString &table, QString &, QSqlError &error,
                  QString &failed) const override
    {
        // Begun and locked in one round trip.
        const QStringList statements = rowBegin(table);
        if (session.runTogether(statements.join(QStringLiteral("; ")), error))
            return true;
        // The server's refusal of the lock has its code; a begin fails only
        // with the connection, which has none.
        failed = error.nativeErrorCode().isEmpty() ? statements.first() : statements.last();
        return false;
    }

    QString keysAhead() const override
    {
        return QStringLiteral("SELECT nextval(pg_get_serial_sequence(?, ?)) FROM generate_series(1, CAST(? AS INTEGER))");
    }

    QString insertsAsGiven() const override
    {
        // The key from its sequence (serial or identity), with the rights to
        // take one and to give it; no other column with a default or a value
        // of its own, no trigger and no rule that could change the row.
        return QStringLiteral(
            "WITH t AS (SELECT to_regclass(CAST(? AS TEXT)) AS id, CAST(? AS TEXT) AS k),"
            " s AS (SELECT t.*, pg_get_serial_sequence(CAST(t.id AS TEXT), t.k) AS seq FROM t)"
            " SELECT coalesce(s.seq IS NOT NULL AND has_sequence_privilege(s.seq, 'USAGE,UPDATE')"
            " AND has_column_privilege(s.id, s.k, 'INSERT')"
            " AND NOT EXISTS (SELECT FROM pg_attribute a WHERE a.attrelid = s.id AND a.attnum > 0"
            " AND NOT a.attisdropped AND a.attname <> s.k"
            " AND (a.atthasdef OR a.attidentity <> '' OR a.attgenerated <> ''))"
            " AND NOT EXISTS (SELECT FROM pg_trigger g WHERE g.tgrelid = s.id AND NOT g.tgisinternal)"
            " AND NOT EXISTS (SELECT FROM pg_rewrite r WHERE r.ev_class = s.id AND r.rulename <> '_RETURN'), false)"
            " FROM s");
    }

    bool isReadOnly(const QSqlError &error) const override
    {
        // A read-only SQL transaction; psqlODBC's read-only data source
        // (ReadOnly=1) refuses every statement but a query itself.
        return error.nativeErrorCode() == QLatin1String("25006")
               || error.databaseText().contains(QLatin1String("Connection is readonly"));
    }

    QString cause(const QSqlError &error, int lockWait) const override
    {
        const QString code = error.nativeErrorCode();
        if (isReadOnly(error))
            return orbe::readOnlyCause();
        if (code == QLatin1String("53100"))
            return QStringLiteral("Der Datenträger der Datenbank ist voll");
        if (code == QLatin1String("55P03"))
            return QStringLiteral("Ein anderes Programm hält die Tabelle gesperrt; Tarvel hat %1 gewartet")
                .arg(orbe::seconds(lockWait));
        if (code == QLatin1String("42501"))
            return QStringLiteral("Dem Datenbankbenutzer fehlt die Berechtigung dafür");
        if (code == QLatin1String("23503")) // a foreign key; the server's words tell which side
            return error.databaseText().contains(QLatin1String("update or delete on")) ? orbe::referredToCause()
                                                                                       : orbe::refersToMissingCause();
        if (code == QLatin1String("42703") || code == QLatin1String("42P01"))
            return orbe::missingSchemaCause();
        if (code == QLatin1String("42883") || code == QLatin1String("42804"))
            return orbe::wrongTypeCause();
        if (code == QLatin1String("22003") || code == QLatin1String("22001")) // out of range, too long
            return orbe::valueDoesNotFitCause();
        return connectCause(error.databaseText() + u' ' + error.driverText(), code);
    }

    bool connectionLost(const QSqlError &error) const override
    {
        // Inside a failed transaction the server answers with a code of its
        // own; the client library's errors for a server that went away carry
        // none, the ODBC driver's the connection's class.
        const QString code = error.nativeErrorCode();
        return code.isEmpty() || code.startsWith(QLatin1String("08")) || code.startsWith(QLatin1String("57P0"));
    }

private:
    // A failed connection carries no SQLSTATE: the server's words tell.
    static QString connectCause(const QString &text, const QString &code)
    {
        if (text.contains(QLatin1String("server does not support SSL")))
            return QStringLiteral("Der Server bietet keine verschlüsselte Verbindung (TLS) an");
        if (text.contains(QLatin1String("certificate verify failed")) || text.contains(QLatin1String("does not match host name"))
            || text.contains(QLatin1String("root certificate")))
            return QStringLiteral("Das Zertifikat des Servers ist nicht das erwartete (sslrootcert, Servername)");
        if (text.contains(QLatin1String("definition of service")))
            return QStringLiteral("Den Dienst gibt es in der Dienstdatei nicht (PGSERVICEFILE, ~/.pg_service.conf)");
        if (text.contains(QLatin1String("no password supplied")))
            return OrbeBase::passwordWantedCause();
        if (code == QLatin1String("28P01") || text.contains(QLatin1String("password authentication failed"))
            || (text.contains(QLatin1String("role \"")) && text.contains(QLatin1String("does not exist"))))
            return QStringLiteral("Der Server nimmt Benutzer oder Passwort nicht an");
        // After a refused password, libpq may try once more without TLS: the
        // password is the cause then, not the refused plain connection.
        if (text.contains(QLatin1String("no encryption")))
            return QStringLiteral("Der Server verlangt eine verschlüsselte Verbindung (sslmode)");
        if (code == QLatin1String("3D000")
            || (text.contains(QLatin1String("database \"")) && text.contains(QLatin1String("does not exist"))))
            return QStringLiteral("Die Datenbank gibt es auf dem Server nicht");
        return {};
    }
};

} // namespace

const OrbeDialect &postgresDialect()
{
    static const PostgresDialect dialect;
    return dialect;
}
