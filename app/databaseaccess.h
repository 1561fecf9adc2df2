#pragma once

#include "orbebase.h"

class QWidget;

// How the window program opens its database: the one the programs' order
// names (DatabaseSetting::choose), or one the user took in "Datenbank
// wählen". Where a PostgreSQL server asks for a password that no password
// or service file gives, the user is asked; what was typed is kept in memory
// for this program run, never written anywhere. tarvel-batch never asks.
namespace DatabaseAccess {

// Connects base to the database the order names. False, with the reason in
// failure, when no connection was made (the question for the password
// cancelled too), also for a setting the user may replace that is no
// location. Throws Failure for any other location that is none.
bool connectChosen(OrbeBase &base, QWidget *parent, QString *failure);
// The same for the location given.
bool connectTo(OrbeBase &base, const DatabaseLocation &location, QWidget *parent);

// The location with the password typed for its server, user and database
// during this run, where it gives none of its own.
DatabaseLocation withKnownPassword(DatabaseLocation location);
// Keeps the location's password, for this program run.
void rememberPassword(const DatabaseLocation &location);

// Whether the failure is a server's asking for a password that nothing gave.
bool passwordWanted(const QString &connectFailure);
// "Kennwort für jagd auf dbserver.amt.example"
QString passwordQuestion(const DatabaseLocation &location);

} // namespace DatabaseAccess
