#pragma once

#include <QSettings>
#include <QString>

#include <optional>

// Where the database the programs open is named, first found wins.
enum class LocationSource {
    Call,         // tarvel-batch --database
    Environment,  // TARVEL_DATABASE
    FixedMachine, // the machine's setting, marked fixed by IT
    User,         // the user's setting
    Machine,      // the machine's setting
    Default,      // the embedded default database
};

// The location the programs open, and where it comes from.
struct DatabaseChoice
{
    QString location; // in the form TARVEL_DATABASE takes; the default's file for Default
    LocationSource source = LocationSource::Default;
    QString place; // the settings file or registry key that holds a setting

    // "Aufruf", "TARVEL_DATABASE", "Rechnereinstellung (festgelegt)",
    // "Benutzereinstellung", "Rechnereinstellung", "eingebaute Datenbank".
    QString sourceWord() const;
    // The source as the subject of a German sentence: "Die Benutzereinstellung
    // Datenbank/Ort in /home/anna/.config/Tarvel/Tarvel.conf".
    QString sourceText() const;
    // Why the location must not be opened: a setting that gives a password
    // (it would lie in a file or the registry for anyone to read). Names the
    // setting and where it lies, never the password; empty when it may.
    QString refusal() const;
    // Whether the user may choose another database. Not while TARVEL_DATABASE
    // or IT's fixed setting names one, which whyFixed() then says.
    bool changeable() const;
    QString whyFixed() const;
};

// The settings are Qt's of the organisation and program "Tarvel", group
// "Datenbank", keys "Ort" (a location in the form TARVEL_DATABASE takes; empty
// is none) and "Festgelegt" (true: the machine's setting wins over the user's).
// The machine's lie in /etc/xdg/Tarvel/Tarvel.conf (the folders of
// XDG_CONFIG_DIRS), or on Windows under HKEY_LOCAL_MACHINE\Software\Tarvel\Tarvel;
// the user's in ~/.config/Tarvel/Tarvel.conf, or under HKEY_CURRENT_USER.
namespace DatabaseSetting {

// The database the call names (tarvel-batch's --database), else TARVEL_DATABASE,
// else IT's fixed setting, the user's, the machine's, the embedded default.
DatabaseChoice choose(const std::optional<QString> &given = std::nullopt);

// Stores location as the user's setting; an empty one removes it. A location
// that gives a password is refused, with the reason in error.
bool storeUserLocation(const QString &location, QString *error = nullptr);

// Why location must not stand in a setting: it gives a password, or is an
// ODBC connection string that cannot be read. subject begins the sentence,
// naming where it stands; empty when it may.
QString passwordRefusal(const QString &location, const QString &subject);

// The machine's setting, fixed or not; empty when there is none.
QString machineLocation();

// Where the setting of the scope lies, for messages: the file, or the
// registry key of the group. Per system
// (databasesetting_posix.cpp, databasesetting_windows.cpp).
QString place(QSettings::Scope scope);

} // namespace DatabaseSetting
