#include "orbebase.h"

#include "consoletext.h"
#include "databasesetting.h"
#include "failure.h"
#include "orbeconnection.h"
#include "orbeinternal.h"
#include "orbetools.h"

#include <QAtomicInt>
#include <QDir>
#include <QFileInfo>
#include <QSqlError>

#include <cstdio>

namespace {

QString nextConnectionName()
{
    static QAtomicInt counter;
    return QStringLiteral("tarvel-orbe-%1").arg(counter.fetchAndAddRelaxed(1) + 1);
}


// Opens a new SQLite connection under the given name; on failure the
// connection is removed again and the reason returned.
QString openSqlite(const QString &connectionName, const QString &path, DatabaseWaits &waits)
{
    QString reason;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), connectionName);
        if (!db.isValid()) {
            reason = QStringLiteral("Der SQLite-Treiber von Qt fehlt (Paket libqt6sql6-sqlite).");
        } else {
            db.setDatabaseName(path);
            // Another program's row transaction holds the write lock for
            // milliseconds; waiting for it must not end a run.
            waits.lock = std::make_unique<SqliteLockWait>(orbe::lockWaitMilliseconds());
            Dialect dialect;
            if (const QSqlError error = orbe::openSession(db, dialect, waits); error.type() == QSqlError::ConnectionError) {
                reason = QStringLiteral("%1 lässt sich nicht öffnen: %2").arg(path, error.text());
            } else if (error.isValid()) {
                // A file that is a database but cannot be read now (a lock, a
                // folder that takes no files) is not called unreadable.
                const int code = error.nativeErrorCode().toInt() & 0xff;
                QString why = orbe::sqliteWalFolderCause(path, error);
                if (why.isEmpty())
                    why = orbe::cause(error, DatabaseSystem::SQLite);
                reason = (why.isEmpty() || code == 11 || code == 26) // SQLITE_CORRUPT, SQLITE_NOTADB
                             ? QStringLiteral("%1 ist keine lesbare SQLite-Datenbank").arg(path)
                             : QStringLiteral("%1 lässt sich nicht öffnen").arg(path);
                if (!why.isEmpty())
                    reason += QStringLiteral(" (%1)").arg(why);
                reason += QStringLiteral(": ") + error.text();
            }
            if (!reason.isEmpty())
                db.close();
        }
    }
    if (!reason.isEmpty())
        QSqlDatabase::removeDatabase(connectionName);
    return reason;
}

// The driver's option string: "key='value'" joined by ";", which the driver
// turns into blanks. Quoted as the client library reads it, so that blanks,
// quotes and backslashes in a value (a certificate's path) arrive intact.
QString connectOptions(const QList<std::pair<QString, QString>> &given)
{
    // A server that went away unseen (a cable, a frozen machine) is noticed
    // by TCP keepalives within about a minute. The location may say otherwise.
    QList<std::pair<QString, QString>> options{
        {QStringLiteral("connect_timeout"), QString::number(orbe::ConnectLimitSeconds)}, {QStringLiteral("application_name"), QStringLiteral("Tarvel")},
        {QStringLiteral("keepalives"), QStringLiteral("1")}, {QStringLiteral("keepalives_idle"), QStringLiteral("30")},
        {QStringLiteral("keepalives_interval"), QStringLiteral("10")}, {QStringLiteral("keepalives_count"), QStringLiteral("3")}};
    for (const auto &option : given) {
        options.removeIf([&](const auto &known) { return known.first == option.first; });
        options << option;
    }
    QStringList parts;
    for (auto [key, value] : options) {
        value.replace(u'\\', QLatin1String("\\\\")).replace(u'\'', QLatin1String("\\'"));
        parts << key + QStringLiteral("='") + value + u'\'';
    }
    return parts.join(u';');
}

// The watchdog of waits watches the connection being made, and then its statements.
QString openPostgres(const QString &connectionName, const DatabaseLocation &location, DatabaseWaits &waits)
{
    waits.watchdog = std::make_unique<AnswerWatchdog>(std::chrono::milliseconds(orbe::answerWaitMilliseconds()));
    QString reason;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), connectionName);
        if (!db.isValid()) {
            reason = QStringLiteral("Der PostgreSQL-Treiber von Qt fehlt (Paket libqt6sql6-psql).");
        } else {
            if (!location.host.isEmpty())
                db.setHostName(location.host);
            if (location.port > 0)
                db.setPort(location.port);
            db.setDatabaseName(location.database);
            db.setUserName(location.user);
            db.setPassword(location.password);
            db.setConnectOptions(connectOptions(location.options));
            Dialect dialect{DatabaseSystem::PostgreSQL};
            if (const QSqlError error = orbe::openSession(db, dialect, waits); error.isValid()) {
                reason = QStringLiteral("%1 lässt sich nicht öffnen").arg(location.description());
                QString why = waits.cancelled() ? QStringLiteral("abgebrochen") : orbe::silentServerCause(waits.watchdog.get());
                if (why.isEmpty())
                    why = orbe::cause(error, DatabaseSystem::PostgreSQL);
                if (!why.isEmpty())
                    reason += QStringLiteral(" (%1)").arg(why);
                reason += QStringLiteral(": ") + error.text();
            }
        }
    }
    if (!reason.isEmpty())
        QSqlDatabase::removeDatabase(connectionName);
    return reason;
}

} // namespace

OrbeBase::OrbeBase() = default;

OrbeBase::~OrbeBase()
{
    Disconnect();
}

bool OrbeBase::Connect(int)
{
    // The database named by the environment or a setting, or the embedded default.
    const DatabaseChoice choice = DatabaseSetting::choose();
    if (choice.source != LocationSource::Default) {
        if (const QString refused = choice.refusal(); !refused.isEmpty()) {
            Disconnect();
            reportConnectFailure(refused);
            return false;
        }
        try {
            return ConnectTo(choice.location);
        } catch (const Failure &failure) {
            throw Failure(failure.number(), failure.source(),
                          QStringLiteral("%1 nennt keine gültige Datenbank: %2").arg(choice.sourceText(), failure.description()));
        }
    }

    Disconnect();
    const QString path = defaultDatabasePath();
    if (!QFileInfo::exists(path)) {
        QString reason;
        if (!createDatabaseFile(path, &reason)) {
            reportConnectFailure(reason);
            return false;
        }
    }
    return ConnectTo(path);
}

bool OrbeBase::ConnectTo(const QString &locationText)
{
    Disconnect();
    QString reason;
    const std::optional<DatabaseLocation> location = parseLocation(locationText, &reason);
    // A malformed setting is a mistake to show, not a database that is absent.
    if (!location)
        throw Failure(ErrorNumber::InvalidArgument, ErrorSource::Database, reason);
    m_connection = openConnection(*location, &reason);
    if (!m_connection) {
        reportConnectFailure(reason);
        return false;
    }
    m_location = location;
    m_connectFailure.clear();
    return true;
}

std::shared_ptr<OrbeConnection> OrbeBase::openConnection(const DatabaseLocation &location, QString *failure)
{
    const QString name = nextConnectionName();
    DatabaseWaits waits;
    QString reason;
    if (location.kind == DatabaseLocation::Kind::SQLite) {
        // A mistyped name must not quietly become a new empty database.
        const QFileInfo file(location.path);
        if (!file.exists())
            reason = QStringLiteral("Die Datenbankdatei %1 gibt es nicht.").arg(QDir::toNativeSeparators(location.path));
        else if (!file.isFile())
            reason = QStringLiteral("%1 ist keine Datei.").arg(QDir::toNativeSeparators(location.path));
        else
            reason = openSqlite(name, file.absoluteFilePath(), waits);
        if (reason.isEmpty()) {
            DatabaseLocation shown = location;
            shown.path = file.absoluteFilePath();
            return std::make_shared<OrbeConnection>(name, shown.description(), Dialect{}, std::move(waits));
        }
    } else if (location.kind == DatabaseLocation::Kind::PostgreSQL) {
        reason = openPostgres(name, location, waits);
        if (reason.isEmpty())
            return std::make_shared<OrbeConnection>(name, location.description(), Dialect{DatabaseSystem::PostgreSQL},
                                                    std::move(waits));
    } else {
        Dialect dialect;
        reason = orbe::openOdbc(name, location.connectionString, location.description(), waits, dialect);
        if (reason.isEmpty())
            return std::make_shared<OrbeConnection>(name, location.description(), dialect, std::move(waits));
    }
    if (failure)
        *failure = reason;
    return nullptr;
}

void OrbeBase::reportConnectFailure(const QString &reason)
{
    m_connectFailure = reason;
    writeUtf8(stderr, QStringLiteral("Tarvel: keine Datenbankverbindung: %1\n").arg(reason).toUtf8());
}

std::shared_ptr<OrbeConnection> OrbeBase::Connection() const
{
    return m_connection;
}

bool OrbeBase::Disconnect()
{
    if (!m_connection)
        return false;
    m_connection->close();
    m_connection.reset();
    m_location.reset();
    return true;
}

QString OrbeBase::defaultDatabasePath()
{
    return OrbeTools::dataFolder() + QStringLiteral("tarvel.sqlite");
}

bool OrbeBase::createDatabaseFile(const QString &path, QString *error)
{
    auto fail = [error](const QString &reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QFileInfo file(path);
    if (file.exists())
        return fail(QStringLiteral("Die Datei %1 gibt es schon.").arg(path));
    if (!QDir().mkpath(file.absolutePath()))
        return fail(QStringLiteral("Der Ordner %1 kann nicht angelegt werden.").arg(file.absolutePath()));

    // Built under a temporary name, so that a failed set-up leaves no half
    // database behind that the next start would take as ready.
    const QString building = file.absoluteFilePath() + QStringLiteral(".neu");
    QFile::remove(building);
    const QString name = nextConnectionName();
    DatabaseWaits waits;
    QString reason = openSqlite(name, building, waits);
    if (!reason.isEmpty())
        return fail(reason);
    try {
        OrbeConnection connection(name, QString(), Dialect{}, std::move(waits));
        connection.createSchema();
        // A file of Tarvel's own gets WAL once, for good: single-row commits
        // get cheap enough for an import. A file someone else made keeps its
        // journal mode (WAL is unsafe on network shares).
        connection.execute(QStringLiteral("PRAGMA journal_mode = WAL"));
    } catch (const Failure &failure) {
        reason = QStringLiteral("Das Schema konnte nicht angelegt werden: %1").arg(failure.description());
    }
    if (reason.isEmpty() && !QFile::rename(building, file.absoluteFilePath()))
        reason = QStringLiteral("Die Datei %1 kann nicht angelegt werden.").arg(path);
    if (!reason.isEmpty()) {
        QFile::remove(building);
        return fail(reason);
    }
    return true;
}
