#include "orbesession.h"

#include "orbeinternal.h"
#include "orbestatementcache.h"

#include <QLocale>

#include <libpq-fe.h>

namespace orbe {

namespace {

// The session's own settings, in the system's words.
QStringList sessionSettings(const Dialect &dialect)
{
    const int lockWait = lockWaitMilliseconds(dialect.system);
    switch (dialect.system) {
    case DatabaseSystem::PostgreSQL:
        // A commit waits for the server's write-ahead log (its default), so a
        // row the log reports as saved survives a crash of the server. Waits
        // for another session's lock are bounded, as SQLite's busy timeout is.
        return {QStringLiteral("SET lock_timeout = %1").arg(lockWait)};
    case DatabaseSystem::MariaDB:
        // Row locks and table locks alike; the server counts whole seconds.
        return {QStringLiteral("SET SESSION innodb_lock_wait_timeout = %1, lock_wait_timeout = %1").arg(lockWait / 1000)};
    case DatabaseSystem::SQLite:
        break;
    }
    return {QStringLiteral("PRAGMA foreign_keys = ON")};
}

QSqlError startSession(QSqlDatabase &db, const Dialect &dialect)
{
    // Each query is finished at once: an unfinished one holds a transaction open.
    auto run = [&db](const QString &statement, QString *firstValue = nullptr) {
        QSqlQuery query(db);
        if (!query.exec(statement))
            return query.lastError();
        if (query.next() && firstValue)
            *firstValue = query.value(0).toString();
        query.finish();
        return QSqlError();
    };
    QStringList statements = sessionSettings(dialect);
    if (dialect.isSqlite()) {
        // Only settings of this session: the file's own journal mode is left
        // as its owner chose it (Tarvel's own files are made with WAL, where
        // NORMAL keeps a commit durable against a crash of the program).
        QString journal;
        if (const QSqlError error = run(QStringLiteral("PRAGMA journal_mode"), &journal); error.isValid())
            return error;
        if (journal.compare(QLatin1String("wal"), Qt::CaseInsensitive) == 0)
            statements << QStringLiteral("PRAGMA synchronous = NORMAL");
        // The schema is read once, so a file that is no database fails here, not later.
        statements << QStringLiteral("SELECT count(*) FROM sqlite_master");
    }
    for (const QString &statement : std::as_const(statements)) {
        if (const QSqlError error = run(statement); error.isValid())
            return error;
    }
    return {};
}

int milliseconds(const char *variable, int otherwise)
{
    bool ok = false;
    const int set = qEnvironmentVariableIntValue(variable, &ok);
    return ok && set > 0 ? set : otherwise;
}
} // namespace

QSqlError openSession(QSqlDatabase &db, Dialect &dialect, DatabaseWaits &waits)
{
    // The socket is known once the driver has made the connection; the
    // watchdog asks for it only when it gives up. An ODBC driver does not
    // tell it: it is the one socket that the driver opened meanwhile.
    AnswerWatchdog *watchdog = waits.watchdog.get();
    const QList<int> socketsBefore = dialect.odbc ? openSockets() : QList<int>();
    auto newSocket = [socketsBefore] {
        QList<int> fresh = openSockets();
        fresh.removeIf([&](int socket) { return socketsBefore.contains(socket); });
        return fresh.size() == 1 ? fresh.first() : -1;
    };
    if (watchdog) {
        watchdog->takeFired();
        watchdog->setConnectionSocket(-1);
        // Not every ODBC driver bounds the making of a connection (MariaDB's
        // ignores the login timeout while it waits for the server's greeting).
        if (dialect.odbc)
            watchdog->arm(newSocket, std::min(watchdog->limit(), std::chrono::milliseconds(ConnectLimitSeconds * 1000)));
        else
            watchdog->arm([driver = db.driver()] {
                PGconn *connection = libpqConnection(driver);
                return connection ? PQsocket(connection) : -1;
            });
    }
    QSqlError error;
    if (!db.open())
        error = db.lastError();
    // The driver ignores some of its own set-up statements failing: a
    // connection lost meanwhile leaves it "opened" but closed.
    else if (!db.isOpen())
        error = QSqlError(QString(), QStringLiteral("Die Verbindung brach ab, während sie aufgebaut wurde"),
                          QSqlError::ConnectionError);
    else {
        if (dialect.odbc)
            error = odbcSystem(db, dialect);
        if (watchdog && dialect.odbc)
            watchdog->setConnectionSocket(newSocket());
        if (waits.lock)
            waits.lock->install(db);
        if (!error.isValid())
            error = startSession(db, dialect);
    }
    if (watchdog)
        watchdog->disarm();
    return error;
}

QString silentServerCause(AnswerWatchdog *watchdog)
{
    if (!watchdog || !watchdog->takeFired())
        return {};
    return QStringLiteral("Der Datenbankserver antwortet nicht; Tarvel hat %1 gewartet")
        .arg(seconds(int(watchdog->armedLimit().count())));
}

QString seconds(int milliseconds)
{
    const QString number = QLocale(QLocale::German, QLocale::Germany).toString(milliseconds / 1000.0, 'g', 6);
    return number + (milliseconds == 1000 ? QStringLiteral(" Sekunde") : QStringLiteral(" Sekunden"));
}

int lockWaitMilliseconds(DatabaseSystem system)
{
    const int wait = milliseconds("TARVEL_LOCK_WAIT_MS", 30000);
    return system == DatabaseSystem::MariaDB ? (wait + 999) / 1000 * 1000 : wait;
}

int answerWaitMilliseconds()
{
    return milliseconds("TARVEL_ANSWER_WAIT_MS", 60000);
}

} // namespace orbe

OrbeSession::OrbeSession(const QString &connectionName, Dialect dialect, DatabaseWaits waits,
                         OrbeStatementCache &statements)
    : m_connectionName(connectionName)
    , m_dialect(dialect)
    , m_lockWait(orbe::lockWaitMilliseconds(dialect.system))
    , m_waits(std::move(waits))
    , m_statements(statements)
{
}

QSqlError OrbeSession::errorOf(const QSqlQuery &query) const
{
    return m_dialect.odbc ? orbe::odbcError(query, m_dialect) : query.lastError();
}

QString OrbeSession::statement(const QString &sql) const
{
    return m_dialect.odbc ? orbe::odbcStatement(sql, m_dialect) : sql;
}

QVariant OrbeSession::bindable(const QVariant &value) const
{
    return m_dialect.odbc ? orbe::odbcValue(value, m_dialect) : value;
}

QSqlQuery OrbeSession::newQuery() const
{
    QSqlQuery query(database());
    query.setForwardOnly(true);
    query.setNumericalPrecisionPolicy(QSql::LowPrecisionDouble);
    return query;
}

void OrbeSession::beforeStatement()
{
    if (!m_open)
        throw Failure(ErrorNumber::NotConnected, ErrorSource::Database,
                      QStringLiteral("Die Datenbankverbindung ist geschlossen."));
    if (!m_suspect || m_openTransaction)
        return;
    if (lost()) {
        if (QString reason = reopen(); !reason.isEmpty()) {
            if (std::optional<Failure> cancelled = m_waits.cancelled())
                throw *cancelled;
            if (const QString silent = orbe::silentServerCause(m_waits.watchdog.get()); !silent.isEmpty())
                reason = silent;
            throw Failure(ErrorNumber::NotConnected, ErrorSource::Database,
                          QStringLiteral("Die Verbindung zur Datenbank ist abgebrochen und lässt sich nicht "
                                         "wieder herstellen: %1").arg(reason));
        }
    }
    m_suspect = false;
}

bool OrbeSession::run(QSqlQuery &query, const QString &sql, bool repeatable)
{
    if (AnswerWatch watched = watch(); query.exec(statement(sql)))
        return true;
    if (!reopenedForRepeat(repeatable))
        return false;
    query = newQuery();
    if (AnswerWatch watched = watch(); query.exec(statement(sql)))
        return true;
    m_suspect = true;
    return false;
}

QSqlQuery *OrbeSession::runPrepared(const QString &sql, const QVariantList &values, bool repeatable, QSqlError &error)
{
    for (bool again = false;; again = true) {
        if (QSqlQuery *query = m_statements.prepared(*this, sql, error)) {
            for (int i = 0; i < values.size(); ++i)
                query->bindValue(i, bindable(values[i]));
            if (AnswerWatch watched = watch(); query->exec())
                return query;
            error = errorOf(*query);
            query->finish();
        }
        // reopen() drops the kept statements, so the second try prepares anew.
        if (!reopenedForRepeat(repeatable && !again))
            return nullptr;
    }
}

bool OrbeSession::runTogether(const QString &statements, QSqlError &error)
{
    if (m_dialect.odbc) {
        QSqlQuery query = newQuery();
        if (run(query, statements, true))
            return true;
        error = errorOf(query);
        return false;
    }
    const QByteArray text = statements.toUtf8();
    for (bool again = false;; again = true) {
        PGconn *connection = libpqConnection(database());
        PGresult *result = nullptr;
        if (connection) {
            AnswerWatch watched = watch();
            result = PQexec(connection, text.constData());
        }
        const ExecStatusType status = result ? PQresultStatus(result) : PGRES_FATAL_ERROR;
        if (status == PGRES_COMMAND_OK || status == PGRES_TUPLES_OK) {
            PQclear(result);
            return true;
        }
        // As the driver words its errors, so that causes read the same.
        error = QSqlError(QStringLiteral("QPSQL: Unable to create query"),
                          connection ? QString::fromUtf8(PQerrorMessage(connection)).trimmed() : QString(),
                          QSqlError::StatementError,
                          result ? QString::fromLatin1(PQresultErrorField(result, PG_DIAG_SQLSTATE)) : QString());
        PQclear(result);
        if (!reopenedForRepeat(!again && PQtransactionStatus(connection) != PQTRANS_INERROR))
            return false;
    }
}

bool OrbeSession::reopenedForRepeat(bool repeatable)
{
    m_suspect = true;
    if (!repeatable || m_openTransaction || !lost() || !reopen().isEmpty())
        return false;
    m_suspect = false;
    return true;
}

Failure OrbeSession::refused(const QString &description, const QSqlError &error, const QString &statement,
                             const QString &withoutAnswer)
{
    m_suspect = true;
    if (std::optional<Failure> cancelled = m_waits.cancelled())
        return *cancelled;
    QString why = orbe::silentServerCause(m_waits.watchdog.get());
    if (why.isEmpty() && lost())
        why = QStringLiteral("Die Verbindung zur Datenbank ist abgebrochen");
    const bool answered = why.isEmpty();
    if (answered && m_dialect.isNativeSqlite() && orbe::isReadOnly(error, DatabaseSystem::SQLite))
        why = orbe::sqliteSideFilesCause(database().databaseName());
    if (answered && why.isEmpty())
        why = orbe::cause(error, m_dialect.system, m_lockWait);
    return orbe::failure(ErrorNumber::DatabaseError, answered || withoutAnswer.isEmpty() ? description : withoutAnswer,
                         error, statement, why);
}

bool OrbeSession::lost()
{
    QSqlDatabase db = database();
    if (!db.isOpen())
        return true;
    QSqlQuery probe(db);
    if (AnswerWatch watched = watch(); probe.exec(QStringLiteral("SELECT 1")))
        return false;
    if (m_dialect.odbc)
        return orbe::odbcConnectionLost(probe, m_dialect);
    // Inside a failed transaction the server answers with an error code of
    // its own; libpq's errors for a server that went away carry none.
    return !m_dialect.isPostgres() || probe.lastError().nativeErrorCode().isEmpty();
}

QString OrbeSession::reopen()
{
    // Prepared statements belong to the old session.
    m_statements.forgetStatements();
    QSqlDatabase db = database();
    db.close();
    return orbe::openSession(db, m_dialect, m_waits).text();
}

void OrbeSession::close()
{
    if (!m_open)
        return;
    m_open = false;
    m_openTransaction = nullptr;
    m_statements.forgetStatements();
    {
        QSqlDatabase db = database();
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}
