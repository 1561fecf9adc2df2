#include "orbebase.h"

#include "consoletext.h"
#include "databasesetting.h"
#include "failure.h"
#include "orbeconnection.h"
#include "orbeinternal.h"
#include "orbelink_odbc.h"
#include "orbelink_pq.h"
#include "orbetools.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlError>

#include <functional>

#include <cstdio>

namespace {

// The session on a link just made: the system's own settings.
std::shared_ptr<OrbeConnectionState> stateOf(std::unique_ptr<OrbeLink> link, const OrbeDialect &dialect,
                                             std::shared_ptr<DatabaseWaits> waits, QSqlError &error)
{
    auto state = std::make_shared<OrbeConnectionState>(std::move(link), dialect, std::move(waits));
    error = state->session.start();
    if (error.isValid())
        return nullptr;
    return state;
}

// An SQLite file; on failure the reason.
std::shared_ptr<OrbeConnectionState> openSqlite(const QString &path, std::shared_ptr<DatabaseWaits> waits,
                                                QString &reason)
{
    // Another program's row transaction holds the write lock for
    // milliseconds; waiting for it must not end a run.
    waits->lock = std::make_unique<SqliteLockWait>(orbe::lockWaitMilliseconds(), waits->cancel);
    QSqlError error;
    std::shared_ptr<OrbeConnectionState> state;
    if (std::unique_ptr<QtSqlLink> link = QtSqlLink::openSqlite(path, waits, error))
        state = stateOf(std::move(link), dialectOf(DatabaseSystem::SQLite), waits, error);
    if (state)
        return state;
    if (error.type() == QSqlError::ConnectionError) {
        reason = QStringLiteral("%1 lässt sich nicht öffnen: %2").arg(path, error.text());
        return nullptr;
    }
    // A file that is a database but cannot be read now (a lock, a folder
    // that takes no files) is not called unreadable.
    const int code = error.nativeErrorCode().toInt() & 0xff;
    QString why = orbe::sqliteWalFolderCause(path, error);
    if (why.isEmpty())
        why = dialectOf(DatabaseSystem::SQLite).cause(error, orbe::lockWaitMilliseconds());
    reason = (why.isEmpty() || code == 11 || code == 26) // SQLITE_CORRUPT, SQLITE_NOTADB
                 ? QStringLiteral("%1 ist keine lesbare SQLite-Datenbank").arg(path)
                 : QStringLiteral("%1 lässt sich nicht öffnen").arg(path);
    if (!why.isEmpty())
        reason += QStringLiteral(" (%1)").arg(why);
    reason += QStringLiteral(": ") + error.text();
    return nullptr;
}

// The client library's connection keywords: Tarvel's defaults, which the
// location may override, then the location's.
PostgresKeywords postgresKeywords(const DatabaseLocation &location)
{
    // A server that went away unseen (a cable, a frozen machine) is noticed
    // by TCP keepalives within about a minute.
    QList<std::pair<QString, QString>> options{
        {QStringLiteral("application_name"), QStringLiteral("Tarvel")}, {QStringLiteral("keepalives"), QStringLiteral("1")},
        {QStringLiteral("keepalives_idle"), QStringLiteral("30")}, {QStringLiteral("keepalives_interval"), QStringLiteral("10")},
        {QStringLiteral("keepalives_count"), QStringLiteral("3")}};
    const QList<std::pair<QString, QString>> given{{QStringLiteral("host"), location.host},
                                                   {QStringLiteral("port"), location.port > 0 ? QString::number(location.port) : QString()},
                                                   {QStringLiteral("dbname"), location.database},
                                                   {QStringLiteral("user"), location.user},
                                                   {QStringLiteral("password"), location.password}};
    for (const auto &option : given + location.options) {
        if (option.second.isEmpty() && option.first != QLatin1String("options"))
            continue;
        options.removeIf([&](const auto &known) { return known.first == option.first; });
        options << option;
    }
    // The texts the link reads: UTF-8, ISO dates, times in UTC.
    QString serverOptions = QStringLiteral("-c DateStyle=ISO -c TimeZone=UTC");
    PostgresKeywords keywords;
    for (const auto &[key, value] : std::as_const(options)) {
        if (key == QLatin1String("options"))
            serverOptions = value + u' ' + serverOptions;
        else if (key != QLatin1String("client_encoding"))
            keywords.append(std::pair(key.toUtf8(), value.toUtf8()));
    }
    keywords.append(std::pair(QByteArray("client_encoding"), QByteArray("UTF8")));
    keywords.append(std::pair(QByteArray("options"), serverOptions.trimmed().toUtf8()));
    return keywords;
}

// Why a server's database cannot be opened: a cancel, a silent server, or
// the cause the driver's error names.
QString serverFailure(const DatabaseLocation &location, const QSqlError &error, DatabaseWaits &waits,
                      const std::function<QString()> &cause)
{
    QString reason = QStringLiteral("%1 lässt sich nicht öffnen").arg(location.description());
    QString why = waits.cancelled() ? QStringLiteral("abgebrochen") : waits.outcome->takeSilentCause();
    if (why.isEmpty())
        why = cause();
    if (!why.isEmpty())
        reason += QStringLiteral(" (%1)").arg(why);
    return reason + QStringLiteral(": ") + error.text();
}

std::shared_ptr<OrbeConnectionState> openPostgres(const DatabaseLocation &location, std::shared_ptr<DatabaseWaits> waits,
                                                  QString &reason)
{
    QSqlError error;
    std::shared_ptr<OrbeConnectionState> state;
    const OrbeDialect &dialect = dialectOf(DatabaseSystem::PostgreSQL);
    if (std::unique_ptr<PostgresLink> link = PostgresLink::open(postgresKeywords(location), waits, error))
        state = stateOf(std::move(link), dialect, waits, error);
    if (!state)
        reason = serverFailure(location, error, *waits, [&] { return dialect.cause(error, 0); });
    return state;
}

// The system behind the data source is known once the driver connected.
std::shared_ptr<OrbeConnectionState> openOdbc(const DatabaseLocation &location, std::shared_ptr<DatabaseWaits> waits,
                                              QString &reason)
{
    QSqlError error;
    std::shared_ptr<OrbeConnectionState> state;
    const OrbeDialect *dialect = nullptr;
    if (std::unique_ptr<OdbcLink> link = OdbcLink::open(location.connectionString, waits, error)) {
        dialect = &dialectOf(link->system());
        state = stateOf(std::move(link), *dialect, waits, error);
    }
    if (!state)
        reason = serverFailure(location, error, *waits,
                               [&] { return dialect ? dialect->cause(error, 0) : orbe::odbcConnectCause(error, location.connectionString); });
    return state;
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

std::shared_ptr<OrbeConnection> OrbeBase::openConnection(const DatabaseLocation &location, QString *failure,
                                                         std::shared_ptr<DatabaseCancel> cancel)
{
    auto waits = std::make_shared<DatabaseWaits>(std::move(cancel));
    QString reason;
    std::shared_ptr<OrbeConnectionState> state;
    QString description = location.description();
    if (location.kind == DatabaseLocation::Kind::SQLite) {
        // A mistyped name must not quietly become a new empty database.
        const QFileInfo file(location.path);
        if (!file.exists())
            reason = QStringLiteral("Die Datenbankdatei %1 gibt es nicht.").arg(QDir::toNativeSeparators(location.path));
        else if (!file.isFile())
            reason = QStringLiteral("%1 ist keine Datei.").arg(QDir::toNativeSeparators(location.path));
        else
            state = openSqlite(file.absoluteFilePath(), waits, reason);
        DatabaseLocation shown = location;
        shown.path = file.absoluteFilePath();
        description = shown.description();
    } else if (location.kind == DatabaseLocation::Kind::PostgreSQL) {
        state = openPostgres(location, waits, reason);
    } else {
        state = openOdbc(location, waits, reason);
    }
    if (state)
        return std::make_shared<OrbeConnection>(std::move(state), description);
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
    QString reason;
    std::shared_ptr<OrbeConnectionState> state = openSqlite(building, std::make_shared<DatabaseWaits>(), reason);
    if (!state)
        return fail(reason);
    try {
        OrbeConnection connection(std::move(state), QString());
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
