#include "databasesetting.h"

#include "odbcconnectionstring.h"
#include "orbebase.h"

#include <memory>

namespace {

const QString LocationKey = QStringLiteral("Datenbank/Ort");
const QString FixedKey = QStringLiteral("Datenbank/Festgelegt");

std::unique_ptr<QSettings> settings(QSettings::Scope scope)
{
    auto settings = std::make_unique<QSettings>(QSettings::NativeFormat, scope, QStringLiteral("Tarvel"),
                                                QStringLiteral("Tarvel"));
    // The user's scope alone: Qt would fall back to the machine's, and the
    // source could not be told.
    if (scope == QSettings::UserScope)
        settings->setFallbacksEnabled(false);
    return settings;
}

QString locationOf(const std::unique_ptr<QSettings> &settings)
{
    // An unquoted value with "," reads as a list in an INI file.
    const QVariant value = settings->value(LocationKey);
    if (value.typeId() == QMetaType::QStringList)
        return value.toStringList().join(u',').trimmed();
    return value.toString().trimmed();
}

// Qt takes any text but "0" and "false" for true; "nein" is no.
bool isTrue(const QVariant &value)
{
    const QString text = value.toString().trimmed().toLower();
    return text == QLatin1String("true") || text == QLatin1String("1") || text == QLatin1String("ja")
           || text == QLatin1String("yes");
}

} // namespace

QString DatabaseChoice::sourceWord() const
{
    switch (source) {
    case LocationSource::Call:
        return QStringLiteral("Aufruf");
    case LocationSource::Environment:
        return QStringLiteral("TARVEL_DATABASE");
    case LocationSource::FixedMachine:
        return QStringLiteral("Rechnereinstellung (festgelegt)");
    case LocationSource::User:
        return QStringLiteral("Benutzereinstellung");
    case LocationSource::Machine:
        return QStringLiteral("Rechnereinstellung");
    case LocationSource::Default:
        break;
    }
    return QStringLiteral("eingebaute Datenbank");
}

QString DatabaseChoice::sourceText() const
{
    switch (source) {
    case LocationSource::Call:
        return QStringLiteral("Die Angabe --database");
    case LocationSource::Environment:
        return QStringLiteral("Die Umgebungsvariable TARVEL_DATABASE");
    case LocationSource::FixedMachine:
        return QStringLiteral("Die festgelegte Rechnereinstellung Datenbank/Ort in %1").arg(place);
    case LocationSource::User:
        return QStringLiteral("Die Benutzereinstellung Datenbank/Ort in %1").arg(place);
    case LocationSource::Machine:
        return QStringLiteral("Die Rechnereinstellung Datenbank/Ort in %1").arg(place);
    case LocationSource::Default:
        break;
    }
    return QStringLiteral("Die eingebaute Datenbank (keine Einstellung nennt eine andere)");
}

QString DatabaseChoice::refusal() const
{
    if (source != LocationSource::FixedMachine && source != LocationSource::User && source != LocationSource::Machine)
        return {};
    return DatabaseSetting::passwordRefusal(location, sourceText());
}

bool DatabaseChoice::changeable() const
{
    return source != LocationSource::Environment && source != LocationSource::FixedMachine;
}

QString DatabaseChoice::whyFixed() const
{
    if (source == LocationSource::Environment)
        return QStringLiteral("Die Umgebungsvariable TARVEL_DATABASE nennt die Datenbank; solange sie gesetzt ist, "
                              "gilt sie.");
    if (source == LocationSource::FixedMachine)
        return QStringLiteral("Ihre IT hat die Datenbank für diesen Rechner festgelegt (%1).").arg(place);
    return {};
}

namespace DatabaseSetting {

DatabaseChoice choose(const std::optional<QString> &given)
{
    if (given)
        return {*given, LocationSource::Call, {}};
    const QString variable = qEnvironmentVariable("TARVEL_DATABASE").trimmed();
    if (!variable.isEmpty())
        return {variable, LocationSource::Environment, {}};
    const std::unique_ptr<QSettings> machine = settings(QSettings::SystemScope);
    const QString machineOrt = locationOf(machine);
    if (!machineOrt.isEmpty() && isTrue(machine->value(FixedKey)))
        return {machineOrt, LocationSource::FixedMachine, place(QSettings::SystemScope)};
    const QString userOrt = locationOf(settings(QSettings::UserScope));
    if (!userOrt.isEmpty())
        return {userOrt, LocationSource::User, place(QSettings::UserScope)};
    if (!machineOrt.isEmpty())
        return {machineOrt, LocationSource::Machine, place(QSettings::SystemScope)};
    return {OrbeBase::defaultDatabasePath(), LocationSource::Default, {}};
}

bool storeUserLocation(const QString &location, QString *error)
{
    const std::unique_ptr<QSettings> user = settings(QSettings::UserScope);
    if (location.trimmed().isEmpty()) {
        user->remove(LocationKey);
    } else {
        const DatabaseChoice choice{location.trimmed(), LocationSource::User, place(QSettings::UserScope)};
        if (const QString refused = choice.refusal(); !refused.isEmpty()) {
            if (error)
                *error = refused;
            return false;
        }
        user->setValue(LocationKey, choice.location);
    }
    user->sync();
    if (user->status() != QSettings::NoError) {
        if (error)
            *error = QStringLiteral("Die Einstellung lässt sich nicht speichern (%1).").arg(place(QSettings::UserScope));
        return false;
    }
    return true;
}

QString passwordRefusal(const QString &location, const QString &subject)
{
    const std::optional<DatabaseLocation> parsed = OrbeBase::parseLocation(location);
    if (!parsed || !parsed->holdsPassword())
        return {};
    const bool odbc = parsed->kind == DatabaseLocation::Kind::ODBC;
    const QString what = odbc && !OdbcConnectionString::parse(parsed->connectionString).readable
                             ? QStringLiteral("eine ODBC-Verbindung, die sich nicht lesen lässt, so dass nicht zu "
                                              "erkennen ist, ob sie ein Passwort enthält")
                             : QStringLiteral("ein Passwort");
    const QString where = odbc ? QStringLiteral("in die ODBC-Datenquelle")
                               : QStringLiteral("in die Passwortdatei von PostgreSQL (~/.pgpass, PGPASSFILE) oder eine "
                                                "Dienstdatei");
    return QStringLiteral("%1 enthält %2. Tarvel öffnet diese Datenbank nicht: eine Einstellung kann jeder lesen, "
                          "der die Datei oder den Registrierungsschlüssel sieht. Das Passwort gehört %3.")
        .arg(subject, what, where);
}

QString machineLocation()
{
    return locationOf(settings(QSettings::SystemScope));
}

} // namespace DatabaseSetting
