#include "orbeinternal.h"

#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlResult>
#include <QVariant>

#include <sql.h>
#include <sqlext.h>

// A database reached through an ODBC driver: what the driver and the system
// behind it do otherwise than Qt's own drivers for the same system.

namespace {

SQLHANDLE handleOf(const QVariant &handle)
{
    return handle.isValid() && handle.metaType().sizeOf() == sizeof(SQLHANDLE)
               ? *static_cast<const SQLHANDLE *>(handle.constData())
               : nullptr;
}

// The SQLSTATE and the driver's own number of a failed statement; Qt's error
// has only the number, which psqlODBC sets to 1 for every server error.
std::pair<QString, int> diagnosis(const QSqlQuery &query)
{
    const QSqlResult *result = query.result();
    SQLHANDLE statement = result ? handleOf(result->handle()) : nullptr;
    SQLCHAR state[6] = {};
    SQLINTEGER native = 0;
    SQLSMALLINT length = 0;
    if (!statement || !SQL_SUCCEEDED(SQLGetDiagRec(SQL_HANDLE_STMT, statement, 1, state, &native, nullptr, 0, &length)))
        return {};
    return {QString::fromLatin1(reinterpret_cast<const char *>(state)), int(native)};
}

// Why a connection could not be made, before the system behind it is known:
// the driver manager's words, or the words of the driver that answered.
QString connectCause(const QSqlError &error, const Dialect &dialect)
{
    const QString text = error.databaseText();
    if (text.contains(QLatin1String("Data source name not found")))
        return QStringLiteral("Die ODBC-Datenquelle gibt es nicht (odbc.ini, Name nach DSN=)");
    if (text.contains(QLatin1String("Can't open lib")))
        return QStringLiteral("Der ODBC-Treiber ist nicht installiert oder nicht eingetragen (odbcinst.ini, Name nach "
                              "Driver=)");
    if (text.startsWith(QLatin1String("[ma-")))
        return orbe::cause(error, DatabaseSystem::MariaDB);
    return orbe::cause(error, dialect.odbc && error.type() != QSqlError::ConnectionError ? dialect.system
                                                                                           : DatabaseSystem::PostgreSQL);
}

} // namespace

namespace orbe {

namespace {

// The SQLite ODBC driver waits for another program's lock as long as its data
// source's "Timeout" says (100 s unless set) and sets its own busy handler
// again for every statement, so that PRAGMA busy_timeout has no effect. The
// connection is made again with a short Timeout added, unless the connection
// string sets one: a row's transaction waits for the write lock in turns of
// that length, up to the lock wait, and a cancel ends the wait between them.
QString sqliteShortBusyWait(const QString &connectionName, const QString &connectionString, const QString &description,
                            DatabaseWaits &waits, Dialect &dialect)
{
    static const QRegularExpression timeout(QStringLiteral(R"((^|;)\s*timeout\s*=)"),
                                            QRegularExpression::CaseInsensitiveOption);
    if (connectionString.contains(timeout))
        return {};
    QSqlDatabase db = QSqlDatabase::database(connectionName, false);
    db.close();
    db.setDatabaseName(connectionString + QStringLiteral(";Timeout=%1").arg(std::min(lockWaitMilliseconds(), 1000)));
    if (const QSqlError error = openSession(db, dialect, waits); error.isValid()) {
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(connectionName);
        return QStringLiteral("%1 lässt sich nicht öffnen: %2").arg(description, error.text());
    }
    return {};
}

} // namespace

QString openOdbc(const QString &connectionName, const QString &connectionString, const QString &description,
                 DatabaseWaits &waits, Dialect &dialect)
{
    dialect.odbc = true;
    waits.watchdog = std::make_unique<AnswerWatchdog>(std::chrono::milliseconds(answerWaitMilliseconds()));
    QString reason;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QODBC"), connectionName);
        if (!db.isValid()) {
            reason = QStringLiteral("Der ODBC-Treiber von Qt fehlt (Paket libqt6sql6-odbc).");
        } else {
            db.setDatabaseName(connectionString);
            // A server that does not take the connection is given up after 10 s,
            // as a PostgreSQL server is; drivers that ignore it have the watchdog.
            db.setConnectOptions(QStringLiteral("SQL_ATTR_LOGIN_TIMEOUT=%1").arg(ConnectLimitSeconds));
            if (const QSqlError error = openSession(db, dialect, waits); error.isValid()) {
                reason = QStringLiteral("%1 lässt sich nicht öffnen").arg(description);
                QString why = waits.cancelled() ? QStringLiteral("abgebrochen") : silentServerCause(waits.watchdog.get());
                if (why.isEmpty())
                    why = connectCause(error, dialect);
                if (!why.isEmpty())
                    reason += QStringLiteral(" (%1)").arg(why);
                reason += QStringLiteral(": ") + error.text();
                db.close();
            }
        }
    }
    if (!reason.isEmpty()) {
        QSqlDatabase::removeDatabase(connectionName);
        return reason;
    }
    // An SQLite file has no server that could fall silent, but its lock wait
    // is the component's own.
    if (dialect.isSqlite()) {
        waits.watchdog.reset();
        waits.lock = std::make_unique<SqliteLockWait>(lockWaitMilliseconds());
        return sqliteShortBusyWait(connectionName, connectionString, description, waits, dialect);
    }
    return {};
}

QSqlError odbcSystem(const QSqlDatabase &db, Dialect &dialect)
{
    SQLHANDLE connection = db.driver() ? handleOf(db.driver()->handle()) : nullptr;
    SQLCHAR name[256] = {};
    SQLSMALLINT length = 0;
    if (!connection || !SQL_SUCCEEDED(SQLGetInfo(connection, SQL_DBMS_NAME, name, sizeof name, &length)))
        return QSqlError(QString(), QStringLiteral("Der ODBC-Treiber sagt nicht, welches Datenbanksystem hinter der "
                                                   "Verbindung steht"), QSqlError::ConnectionError);
    const QString system = QString::fromUtf8(reinterpret_cast<const char *>(name)).trimmed();
    static const std::pair<QLatin1String, DatabaseSystem> known[] = {
        {QLatin1String("MariaDB"), DatabaseSystem::MariaDB}, {QLatin1String("MySQL"), DatabaseSystem::MariaDB},
        {QLatin1String("PostgreSQL"), DatabaseSystem::PostgreSQL}, {QLatin1String("SQLite"), DatabaseSystem::SQLite}};
    for (const auto &[prefix, value] : known) {
        if (system.startsWith(prefix, Qt::CaseInsensitive)) {
            dialect.system = value;
            return {};
        }
    }
    return QSqlError(QString(),
                     QStringLiteral("Hinter der ODBC-Verbindung steht das Datenbanksystem %1, das Tarvel nicht kennt; "
                                    "Tarvel arbeitet mit MariaDB/MySQL, PostgreSQL und SQLite")
                         .arg(quoted(system.isEmpty() ? QStringLiteral("?") : system)),
                     QSqlError::ConnectionError);
}

QString odbcStatement(const QString &statement, const Dialect &dialect)
{
    // MariaDB casts to SIGNED, not to BIGINT; both hold 64 bits.
    static const QRegularExpression bigint(QStringLiteral(R"(\bAS\s+BIGINT\s*\))"),
                                           QRegularExpression::CaseInsensitiveOption);
    if (!dialect.isMariaDb() || !statement.contains(QLatin1String("BIGINT"), Qt::CaseInsensitive))
        return statement;
    return QString(statement).replace(bigint, QStringLiteral("AS SIGNED)"));
}

QVariant odbcValue(const QVariant &value, const Dialect &dialect)
{
    // Qt binds a text with its terminating NUL counted; MariaDB keeps that NUL
    // (psqlODBC and the SQLite driver drop it), so "Rehwild" would find
    // nothing. As UTF-8 bytes it arrives as it is.
    if (dialect.isMariaDb() && value.typeId() == QMetaType::QString && !value.isNull())
        return value.toString().toUtf8();
    return value;
}

QSqlError odbcError(const QSqlQuery &query, const Dialect &dialect)
{
    const QSqlError error = query.lastError();
    if (!dialect.isPostgres())
        return error;
    const QString state = diagnosis(query).first;
    return QSqlError(error.driverText(), error.databaseText(), error.type(), state);
}

QStringList mariaDbPrimaryKey(const QSqlDatabase &db, const QString &table)
{
    // The table's name is an identifier (the recordset's statement allows no
    // other), so it may stand in the statement.
    QSqlQuery query(db);
    query.setForwardOnly(true);
    QStringList names;
    if (query.exec(QStringLiteral("SELECT COLUMN_NAME FROM information_schema.KEY_COLUMN_USAGE WHERE TABLE_SCHEMA = "
                                  "DATABASE() AND TABLE_NAME = '%1' AND CONSTRAINT_NAME = 'PRIMARY' ORDER BY "
                                  "ORDINAL_POSITION").arg(table))) {
        while (query.next())
            names << query.value(0).toString();
    }
    return names;
}

bool odbcConnectionLost(const QSqlQuery &query, const Dialect &dialect)
{
    const auto [state, native] = diagnosis(query);
    // Class 08 is the connection's; MariaDB's client numbers say the same.
    static const QList<int> mariaDbGone{2002, 2003, 2006, 2013, 2055, 4031};
    return state.startsWith(QLatin1String("08")) || (dialect.isMariaDb() && mariaDbGone.contains(native))
           || state.isEmpty();
}

} // namespace orbe
