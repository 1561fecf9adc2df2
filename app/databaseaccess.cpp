#include "databaseaccess.h"

#include "databasesetting.h"
#include "failure.h"
#include "userdialogs.h"

#include <QHash>

namespace {

// The server, user and database a password belongs to: the location without it.
QString passwordKey(DatabaseLocation location)
{
    location.password.clear();
    return location.toString();
}

QHash<QString, QString> &knownPasswords()
{
    static QHash<QString, QString> passwords;
    return passwords;
}

} // namespace

namespace DatabaseAccess {

DatabaseLocation withKnownPassword(DatabaseLocation location)
{
    if (location.kind == DatabaseLocation::Kind::PostgreSQL && location.password.isEmpty())
        location.password = knownPasswords().value(passwordKey(location));
    return location;
}

void rememberPassword(const DatabaseLocation &location)
{
    if (location.kind == DatabaseLocation::Kind::PostgreSQL && !location.password.isEmpty())
        knownPasswords().insert(passwordKey(location), location.password);
}

bool passwordWanted(const QString &connectFailure)
{
    return connectFailure.contains(OrbeBase::passwordWantedCause());
}

QString passwordQuestion(const DatabaseLocation &location)
{
    const QString user = location.user.isEmpty() ? QStringLiteral("Ihren Anmeldenamen") : location.user;
    const QString server = location.host.isEmpty() || location.host.startsWith(u'/')
                               ? QStringLiteral("dem Server dieses Rechners")
                               : location.host;
    return QStringLiteral("Kennwort für %1 auf %2").arg(user, server);
}

bool connectTo(OrbeBase &base, const DatabaseLocation &location, QWidget *parent)
{
    DatabaseLocation target = withKnownPassword(location);
    if (base.ConnectTo(target.toString()))
        return true;
    if (target.kind != DatabaseLocation::Kind::PostgreSQL || !passwordWanted(base.connectFailure()))
        return false;
    const std::optional<QString> typed =
        UserDialogs::current().askPassword(parent, passwordQuestion(target), QStringLiteral("Tarvel: Kennwort"));
    if (!typed)
        return false;
    target.password = *typed;
    if (!base.ConnectTo(target.toString()))
        return false;
    rememberPassword(target);
    return true;
}

bool connectChosen(OrbeBase &base, QWidget *parent, QString *failure)
{
    const DatabaseChoice choice = DatabaseSetting::choose();
    try {
        if (base.Connect(0))
            return true;
    } catch (const Failure &malformed) {
        // A setting the user may replace is no mistake to report, but a
        // database to choose anew.
        if (!choice.changeable())
            throw;
        *failure = malformed.description();
        return false;
    }
    *failure = base.connectFailure();
    const std::optional<DatabaseLocation> location = OrbeBase::parseLocation(choice.location);
    if (!passwordWanted(*failure) || !location)
        return false;
    const bool connected = connectTo(base, *location, parent);
    *failure = base.connectFailure();
    return connected;
}

} // namespace DatabaseAccess
