#include "orbelink_odbc.h"

#include "odbcconnectionstring.h"
#include "odbcqtarguments.h"
#include "orbedialect.h"
#include "orbewatchdog.h"

#include <QDir>
#include <QFileInfo>
#include <QSqlDriver>
#include <QSqlResult>
#include <QVariant>

#include <sql.h>
#include <sqlext.h>

namespace {

using std::chrono::milliseconds;

// The SQLite driver's own wait for another program's lock, between whose
// turns a cancel ends the wait.
constexpr int SqliteBusyTurnMilliseconds = 250;

SQLHANDLE handleOf(const QVariant &handle)
{
    return handle.isValid() && handle.metaType().sizeOf() == sizeof(SQLHANDLE)
               ? *static_cast<const SQLHANDLE *>(handle.constData())
               : nullptr;
}

// The SQLSTATE of a failed statement; Qt's error has only the driver's own
// number, which psqlODBC sets to 1 for every server error.
QString sqlState(const QSqlQuery &query)
{
    const QSqlResult *result = query.result();
    SQLHANDLE statement = result ? handleOf(result->handle()) : nullptr;
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!statement || !SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, statement, 1, state, &native, nullptr, 0, &length)))
        return {};
    return QString::fromLatin1(reinterpret_cast<const char *>(state));
}

// The system the driver names for the connection; an error naming it when it
// is none Tarvel knows.
QSqlError systemBehind(const QSqlDatabase &db, DatabaseSystem &system)
{
    SQLHANDLE connection = db.driver() ? handleOf(db.driver()->handle()) : nullptr;
    SQLCHAR name[256] = {};
    SQLSMALLINT length = 0;
    if (!connection || !SQL_SUCCEEDED(SQLGetInfo(connection, SQL_DBMS_NAME, name, sizeof name, &length)))
        return QSqlError(QString(), QStringLiteral("Der ODBC-Treiber sagt nicht, welches Datenbanksystem hinter der "
                                                   "Verbindung steht"), QSqlError::ConnectionError);
    const QString named = QString::fromUtf8(reinterpret_cast<const char *>(name)).trimmed();
    static const std::pair<QLatin1String, DatabaseSystem> known[] = {
        {QLatin1String("MariaDB"), DatabaseSystem::MariaDB},
        {QLatin1String("PostgreSQL"), DatabaseSystem::PostgreSQL}, {QLatin1String("SQLite"), DatabaseSystem::SQLite}};
    for (const auto &[prefix, value] : known) {
        if (named.startsWith(prefix, Qt::CaseInsensitive)) {
            system = value;
            return {};
        }
    }
    return QSqlError(QString(),
                     QStringLiteral("Hinter der ODBC-Verbindung steht das Datenbanksystem „%1“, das Tarvel nicht kennt; "
                                    "Tarvel arbeitet mit MariaDB, PostgreSQL und SQLite")
                         .arg(named.isEmpty() ? QStringLiteral("?") : named),
                     QSqlError::ConnectionError);
}

} // namespace

namespace orbe {

QString odbcConnectCause(const QSqlError &error, const QString &connectionString)
{
    const QString text = error.databaseText();
    // The SQLite driver makes no file (NoCreat) and says only that it failed.
    if (text.startsWith(QLatin1String("[SQLite]"))) {
        for (const OdbcAttribute &attribute : OdbcConnectionString::parse(connectionString).attributes) {
            if (attribute.keyword.compare(QLatin1String("Database"), Qt::CaseInsensitive) == 0
                && !QFileInfo::exists(attribute.value))
                return QStringLiteral("Die Datenbankdatei %1 gibt es nicht").arg(QDir::toNativeSeparators(attribute.value));
        }
    }
    if (text.contains(QLatin1String("Data source name not found")))
        return QStringLiteral("Die ODBC-Datenquelle gibt es nicht (odbc.ini, Name nach DSN=)");
    if (text.contains(QLatin1String("Can't open lib")))
        return QStringLiteral("Der ODBC-Treiber ist nicht installiert oder nicht eingetragen (odbcinst.ini, Name nach "
                              "Driver=)");
    if (text.startsWith(QLatin1String("[ma-")))
        return dialectOf(DatabaseSystem::MariaDB).cause(error, 0);
    return dialectOf(DatabaseSystem::PostgreSQL).cause(error, 0);
}

} // namespace orbe

OdbcLink::OdbcLink(QString connectionName, std::shared_ptr<DatabaseWaits> waits)
    : QtSqlLink(std::move(connectionName), std::move(waits))
{
}

std::unique_ptr<OdbcLink> OdbcLink::open(const QString &connectionString, std::shared_ptr<DatabaseWaits> waits,
                                         QSqlError &error)
{
    waits->watchdog = std::make_unique<AnswerWatchdog>(waits->answerLimit, waits->cancel, waits->outcome);
    std::unique_ptr<OdbcLink> link(new OdbcLink(orbe::nextConnectionName(), waits));
    // The SQLite driver would make a mistyped file; the others pass over
    // what they do not know. The MariaDB driver's own reconnect (AUTO_RECONNECT
    // or its bit in OPTION) can crash its client library inside a statement
    // and would carry a row on in a session without its lock: Tarvel connects
    // again itself and redoes the row.
    OwnOdbcAttributes own{{QStringLiteral("NoCreat=1")}, {QStringLiteral("AUTO_RECONNECT=0")}};
    QString refusal;
    std::optional<QtOdbcArguments> arguments = qtOdbcArguments(connectionString, own, &refusal);
    if (!arguments) {
        error = QSqlError(QString(), refusal, QSqlError::ConnectionError);
        return nullptr;
    }
    error = link->QtSqlLink::open(QStringLiteral("QODBC"), [&](QSqlDatabase &db) {
        db.setDatabaseName(arguments->databaseName);
        db.setUserName(arguments->user);
        db.setPassword(arguments->password);
        // A server that does not take the connection is given up after the
        // connect wait, as a PostgreSQL server is; drivers that ignore it
        // have the watchdog.
        db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg((waits->connectLimit.count() + 999) / 1000));
    });
    if (!error.isValid() && link->m_system == DatabaseSystem::SQLite) {
        // An SQLite file has no server that could fall silent, but its lock
        // wait is the component's own. Its driver waits for another
        // program's lock as long as its data source's "Timeout" says (100 s
        // unless set) and sets its own busy handler for every statement: the
        // connection is made again with a short Timeout (unless the string
        // sets one), and a row's transaction waits in such turns.
        waits->watchdog.reset();
        waits->lock = std::make_unique<SqliteLockWait>(orbe::lockWaitMilliseconds(), waits->cancel);
        own.defaults << QStringLiteral("Timeout=%1").arg(std::min(orbe::lockWaitMilliseconds(), SqliteBusyTurnMilliseconds));
        arguments = qtOdbcArguments(connectionString, own, &refusal);
        {
            QSqlDatabase db = link->database();
            db.close();
            db.setDatabaseName(arguments->databaseName);
        }
        error = link->openDatabase();
        if (!error.isValid())
            error = link->findSqliteFile();
    }
    if (error.isValid())
        return nullptr;
    return link;
}

QSqlError OdbcLink::findSqliteFile()
{
    OrbeRows databases;
    QSqlError error;
    if (!run(QStringLiteral("PRAGMA database_list"), {}, false, &databases, error))
        return error;
    for (const QList<QVariant> &database : databases.rows) {
        if (database.value(1).toString() == QLatin1String("main"))
            m_sqliteFile = database.value(2).toString();
    }
    m_sqliteFileIdentity = fileIdentity(m_sqliteFile);
    return {};
}

bool OdbcLink::fileReplaced() const
{
    // Compared before each row's transaction, as natively: a file moved over
    // the database would otherwise be damaged by what this connection writes.
    return m_sqliteFileIdentity && fileIdentity(m_sqliteFile) != m_sqliteFileIdentity;
}

QSqlError OdbcLink::openDatabase()
{
    // The driver does not tell its socket: it is the one that it opened
    // while it connected, which the lock keeps apart from other connects.
    std::unique_lock birth(socketBirth(), std::defer_lock);
    while (!birth.try_lock_for(milliseconds(50))) {
        if (m_waits->cancel->requested())
            return QSqlError(QString(), QStringLiteral("abgebrochen"), QSqlError::ConnectionError);
    }
    const QList<SocketIdentity> before = openSockets();
    const auto newSocket = [before]() -> std::optional<SocketIdentity> {
        QList<SocketIdentity> fresh = openSockets();
        fresh.removeIf([&](const SocketIdentity &socket) {
            return std::any_of(before.begin(), before.end(), [&](const SocketIdentity &old) {
                return old.socket == socket.socket && old.identity == socket.identity;
            });
        });
        return fresh.size() == 1 ? std::optional(fresh.first()) : std::nullopt;
    };
    AnswerWatchdog *watchdog = m_waits->watchdog.get();
    AnswerWatchdog::Watch outer;
    // Not every driver bounds the making of a connection (MariaDB's ignores
    // the login timeout while it waits for the server's greeting).
    if (watchdog)
        outer = watchdog->arm(newSocket, std::min(watchdog->limit(), m_waits->connectLimit));
    const QSqlError error = QtSqlLink::openDatabase();
    m_socket = error.isValid() ? std::nullopt : newSocket();
    birth.unlock();
    if (watchdog)
        watchdog->restore(std::move(outer));
    return error;
}

QSqlError OdbcLink::afterOpen()
{
    return systemBehind(database(), m_system);
}

bool OdbcLink::execute(QSqlQuery &query)
{
    AnswerWatch watched(m_waits->watchdog.get(), m_socket);
    return query.exec();
}

bool OdbcLink::executeDirectly(QSqlQuery &query, const QString &sql)
{
    AnswerWatch watched(m_waits->watchdog.get(), m_socket);
    return query.exec(sql);
}

QSqlError OdbcLink::errorOf(const QSqlQuery &query) const
{
    const QSqlError error = query.lastError();
    if (m_system != DatabaseSystem::PostgreSQL)
        return error;
    return QSqlError(error.driverText(), error.databaseText(), error.type(), sqlState(query));
}
