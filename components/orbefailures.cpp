#include "orbeinternal.h"

#include "orbebase.h"

// How the component words a failure. The causes of each system's errors are
// its dialect's.

namespace orbe {

QString shortened(const QString &statement)
{
    QString text = statement.simplified();
    constexpr qsizetype limit = 300;
    if (text.size() > limit)
        text = text.left(limit) + QStringLiteral(" …");
    return text;
}

QString readOnlyCause()
{
    return QStringLiteral("Die Datenbank ist schreibgeschützt; sie nimmt keine Änderungen an");
}

QString missingSchemaCause()
{
    return QStringLiteral("Die Datenbank passt nicht zu Tarvel: ihr fehlt eine Tabelle oder Spalte, die Tarvel braucht");
}

QString referredToCause()
{
    return QStringLiteral("Ein Datensatz einer anderen Tabelle verweist auf diesen Datensatz");
}

QString refersToMissingCause()
{
    return QStringLiteral("Der Datensatz verweist auf einen Datensatz einer anderen Tabelle, den es nicht gibt");
}

QString foreignKeyCause()
{
    // Where the system does not tell which side of the reference it is.
    return QStringLiteral("Ein Verweis zwischen Tabellen lässt das nicht zu: ein Datensatz einer anderen Tabelle "
                          "verweist auf diesen, oder dieser auf einen, den es nicht gibt");
}

QString valueDoesNotFitCause()
{
    return QStringLiteral("Ein Wert passt nicht in seine Spalte der Datenbank (eine Zahl zu groß oder ein Text zu lang)");
}

QString wrongTypeCause()
{
    return QStringLiteral("Die Datenbank passt nicht zu Tarvel: eine Spalte hat einen anderen Typ, als Tarvel erwartet");
}

QString notBegun()
{
    return QStringLiteral("Die Transaktion konnte nicht begonnen werden");
}

QString notSaved(bool added)
{
    return added ? QStringLiteral("Der neue Datensatz konnte nicht gespeichert werden")
                 : QStringLiteral("Der Datensatz konnte nicht gespeichert werden");
}

QString notCommitted()
{
    return notSaved(false) + QStringLiteral(", die Transaktion ließ sich nicht abschließen");
}

QString commitUncertain()
{
    // Without an answer nobody can tell whether the server committed.
    return QStringLiteral("Ob der Datensatz gespeichert ist, ist ungewiss: die Transaktion wurde zum Abschließen "
                          "geschickt, eine Bestätigung kam nicht");
}

Failure failure(long number, const QString &description, const QSqlError &error, const QString &statement,
                const QString &why)
{
    QString text = description;
    if (!why.isEmpty())
        text += QStringLiteral(" (") + why + u')';
    // The database's words and the driver's (in the user's language) are two sentences.
    QString driverText = error.databaseText().trimmed();
    const QString driverOwn = error.driverText().trimmed();
    if (!driverText.isEmpty() && !driverOwn.isEmpty() && !QStringLiteral(".!?:").contains(driverText.back()))
        driverText += u'.';
    driverText = (driverText + u' ' + driverOwn).trimmed();
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
