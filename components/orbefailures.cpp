#include "orbeinternal.h"

#include "orbebase.h"

// How the component words a failure: the cause in German from the driver's
// error, read as the driver that raised it means it.

namespace orbe {

QString shortened(const QString &statement)
{
    QString text = statement.simplified();
    constexpr qsizetype limit = 300;
    if (text.size() > limit)
        text = text.left(limit) + QStringLiteral(" …");
    return text;
}

bool isReadOnly(const QSqlError &error, DatabaseSystem system)
{
    const QString code = error.nativeErrorCode();
    switch (system) {
    case DatabaseSystem::PostgreSQL:
        return code == QLatin1String("25006"); // read-only SQL transaction
    case DatabaseSystem::MariaDB:
        // --read-only server, read-only transaction, read-only InnoDB
        return code == QLatin1String("1290") || code == QLatin1String("1792") || code == QLatin1String("1874");
    case DatabaseSystem::SQLite:
        break;
    }
    return (code.toInt() & 0xff) == 8; // SQLITE_READONLY and its extended codes
}

namespace {

// MariaDB's error numbers; the server's and its client library's.
QString mariaDbCause(const QString &code, int lockWait)
{
    const QString notFitting = QStringLiteral("Die Datenbank passt nicht zu Tarvel: ");
    switch (code.toInt()) {
    case 1205: // lock wait timeout
        return QStringLiteral("Ein anderes Programm hält die Tabelle gesperrt; Tarvel hat %1 gewartet")
            .arg(seconds(lockWait));
    case 1021: // disk full
    case 1114: // table full
        return QStringLiteral("Der Datenträger der Datenbank ist voll");
    case 1044: // no access to the database
    case 1142: // table command denied
    case 1143: // column command denied
        return QStringLiteral("Dem Datenbankbenutzer fehlt die Berechtigung dafür");
    case 1045: // access denied for user
        return QStringLiteral("Der Server nimmt Benutzer oder Passwort nicht an");
    case 1049: // unknown database
        return QStringLiteral("Die Datenbank gibt es auf dem Server nicht");
    case 1054: // unknown column
    case 1146: // no such table
        return notFitting + QStringLiteral("ihr fehlt eine Tabelle oder Spalte, die Tarvel braucht");
    case 1366: // incorrect value for the column
        return notFitting + QStringLiteral("eine Spalte hat einen anderen Typ, als Tarvel erwartet");
    case 2002: // no connection through the socket
    case 2003: // no connection to the host
        return QStringLiteral("Der Datenbankserver ist nicht zu erreichen");
    default:
        return {};
    }
}

} // namespace

QString cause(const QSqlError &error, DatabaseSystem system, int lockWait)
{
    const QString code = error.nativeErrorCode();
    if (isReadOnly(error, system))
        return QStringLiteral("Die Datenbank ist schreibgeschützt; sie nimmt keine Änderungen an");
    if (system == DatabaseSystem::MariaDB)
        return mariaDbCause(code, lockWait);
    const bool postgres = system == DatabaseSystem::PostgreSQL;
    const QString text = error.databaseText() + u' ' + error.driverText();
    const QString notFitting = QStringLiteral("Die Datenbank passt nicht zu Tarvel: ");
    if (postgres ? code == QLatin1String("53100") : (code.toInt() & 0xff) == 13) // disk full, SQLITE_FULL
        return QStringLiteral("Der Datenträger der Datenbank ist voll");
    if (postgres) {
        // A failed connection carries no SQLSTATE: the server's words tell.
        if (code == QLatin1String("55P03"))
            return QStringLiteral("Ein anderes Programm hält die Tabelle gesperrt; Tarvel hat %1 gewartet")
                .arg(seconds(lockWait));
        if (text.contains(QLatin1String("server does not support SSL")))
            return QStringLiteral("Der Server bietet keine verschlüsselte Verbindung (TLS) an");
        if (text.contains(QLatin1String("certificate verify failed")) || text.contains(QLatin1String("does not match host name"))
            || text.contains(QLatin1String("root certificate")))
            return QStringLiteral("Das Zertifikat des Servers ist nicht das erwartete (sslrootcert, Servername)");
        if (text.contains(QLatin1String("definition of service")))
            return QStringLiteral("Den Dienst gibt es in der Dienstdatei nicht (PGSERVICEFILE, ~/.pg_service.conf)");
        if (text.contains(QLatin1String("no password supplied")))
            return OrbeBase::passwordWantedCause();
        if (code == QLatin1String("42501"))
            return QStringLiteral("Dem Datenbankbenutzer fehlt die Berechtigung dafür");
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
        if (code == QLatin1String("42703") || code == QLatin1String("42P01"))
            return notFitting + QStringLiteral("ihr fehlt eine Tabelle oder Spalte, die Tarvel braucht");
        if (code == QLatin1String("42883") || code == QLatin1String("42804"))
            return notFitting + QStringLiteral("eine Spalte hat einen anderen Typ, als Tarvel erwartet");
        return {};
    }
    switch (code.toInt() & 0xff) {
    case 5: // SQLITE_BUSY
    case 6: // SQLITE_LOCKED
        return QStringLiteral("Ein anderes Programm hält die Datenbank gesperrt; Tarvel hat %1 gewartet")
            .arg(seconds(lockWait));
    case 11: // SQLITE_CORRUPT
    case 26: // SQLITE_NOTADB
        return QStringLiteral("Die Datenbankdatei ist beschädigt oder keine SQLite-Datenbank");
    default:
        break;
    }
    if (text.contains(QLatin1String("no such column")) || text.contains(QLatin1String("has no column named"))
        || text.contains(QLatin1String("no such table")))
        return notFitting + QStringLiteral("ihr fehlt eine Tabelle oder Spalte, die Tarvel braucht");
    return {};
}

Failure failure(long number, const QString &description, const QSqlError &error, const QString &statement,
                const QString &why)
{
    QString text = description;
    if (!why.isEmpty())
        text += QStringLiteral(" (") + why + u')';
    const QString driverText = error.text().trimmed();
    if (!driverText.isEmpty())
        text += QStringLiteral(": ") + driverText;
    if (!statement.isEmpty())
        text += QStringLiteral(" (Anweisung: ") + shortened(statement) + u')';
    return Failure(number, ErrorSource::Database, text);
}

} // namespace orbe

QString OrbeBase::passwordWantedCause()
{
    return QStringLiteral("Der Server verlangt ein Passwort; keines ist angegeben (~/.pgpass, PGPASSFILE)");
}
