#include "orbeinternal.h"

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

bool isReadOnly(const QSqlError &error, bool postgres)
{
    const QString code = error.nativeErrorCode();
    if (postgres)
        return code == QLatin1String("25006"); // read-only SQL transaction
    return (code.toInt() & 0xff) == 8;         // SQLITE_READONLY and its extended codes
}

QString cause(const QSqlError &error, bool postgres, int lockWait)
{
    const QString code = error.nativeErrorCode();
    const QString text = error.databaseText() + u' ' + error.driverText();
    const QString notFitting = QStringLiteral("Die Datenbank passt nicht zu Tarvel: ");
    if (postgres ? code == QLatin1String("53100") : (code.toInt() & 0xff) == 13) // disk full, SQLITE_FULL
        return QStringLiteral("Der Datenträger der Datenbank ist voll");
    if (isReadOnly(error, postgres))
        return QStringLiteral("Die Datenbank ist schreibgeschützt; sie nimmt keine Änderungen an");
    if (postgres) {
        // A failed connection carries no SQLSTATE: the server's words tell.
        if (code == QLatin1String("55P03"))
            return QStringLiteral("Ein anderes Programm hält die Tabelle gesperrt; Tarvel hat %1 Sekunden gewartet")
                .arg(seconds(lockWait));
        if (text.contains(QLatin1String("server does not support SSL")))
            return QStringLiteral("Der Server bietet keine verschlüsselte Verbindung (TLS) an");
        if (text.contains(QLatin1String("certificate verify failed")) || text.contains(QLatin1String("does not match host name"))
            || text.contains(QLatin1String("root certificate")))
            return QStringLiteral("Das Zertifikat des Servers ist nicht das erwartete (sslrootcert, Servername)");
        if (text.contains(QLatin1String("definition of service")))
            return QStringLiteral("Den Dienst gibt es in der Dienstdatei nicht (PGSERVICEFILE, ~/.pg_service.conf)");
        if (text.contains(QLatin1String("no password supplied")))
            return QStringLiteral("Der Server verlangt ein Passwort; keines ist angegeben (~/.pgpass, PGPASSFILE)");
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
        return QStringLiteral("Ein anderes Programm hält die Datenbank gesperrt; Tarvel hat %1 Sekunden gewartet")
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
