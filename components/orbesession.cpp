#include "orbesession.h"

#include "orbeinternal.h"
#include "orbestatementcache.h"

#include <QLocale>

#include <libpq-fe.h>

namespace orbe {

namespace {

QSqlError startSession(QSqlDatabase &db, bool postgres)
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
    QStringList statements;
    if (postgres) {
        // A commit waits for the server's write-ahead log (its default), so a
        // row the log reports as saved survives a crash of the server. Waits
        // for another session's lock are bounded, as SQLite's busy timeout is.
        statements << QStringLiteral("SET lock_timeout = %1").arg(lockWaitMilliseconds());
    } else {
        // Only settings of this session: the file's own journal mode is left
        // as its owner chose it (Tarvel's own files are made with WAL, where
        // NORMAL keeps a commit durable against a crash of the program).
        QString journal;
        if (const QSqlError error = run(QStringLiteral("PRAGMA journal_mode"), &journal); error.isValid())
            return error;
        statements << QStringLiteral("PRAGMA foreign_keys = ON");
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

QSqlError openSession(QSqlDatabase &db, bool postgres, DatabaseWaits &waits)
{
    // The socket is known once the driver has made the connection; the
    // watchdog asks for it only when it gives up.
    AnswerWatchdog *watchdog = waits.watchdog.get();
    if (watchdog) {
        watchdog->takeFired();
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
        if (waits.lock)
            waits.lock->install(db);
        error = startSession(db, postgres);
    }
    if (watchdog)
        watchdog->disarm();
    return error;
}

QString silentServerCause(AnswerWatchdog *watchdog)
{
    if (!watchdog || !watchdog->takeFired())
        return {};
    return QStringLiteral("Der Datenbankserver antwortet nicht; Tarvel hat %1 Sekunden gewartet")
        .arg(seconds(int(watchdog->limit().count())));
}

QString seconds(int milliseconds)
{
    return QLocale(QLocale::German, QLocale::Germany).toString(milliseconds / 1000.0, 'g', 6);
}

int lockWaitMilliseconds()
{
    return milliseconds("TARVEL_LOCK_WAIT_MS", 30000);
}

int answerWaitMilliseconds()
{
    return milliseconds("TARVEL_ANSWER_WAIT_MS", 60000);
}

} // namespace orbe

OrbeSession::OrbeSession(const QString &connectionName, DatabaseWaits waits, OrbeStatementCache &statements)
    : m_connectionName(connectionName)
    , m_postgres(QSqlDatabase::database(connectionName, false).driverName() == QLatin1String("QPSQL"))
    , m_lockWait(orbe::lockWaitMilliseconds())
    , m_waits(std::move(waits))
    , m_statements(statements)
{
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
    if (AnswerWatch watched = watch(); query.exec(sql))
        return true;
    if (!reopenedForRepeat(repeatable))
        return false;
    query = newQuery();
    if (AnswerWatch watched = watch(); query.exec(sql))
        return true;
    m_suspect = true;
    return false;
}

QSqlQuery *OrbeSession::runPrepared(const QString &sql, const QVariantList &values, bool repeatable, QSqlError &error)
{
    for (bool again = false;; again = true) {
        if (QSqlQuery *query = m_statements.prepared(*this, sql, error)) {
            for (int i = 0; i < values.size(); ++i)
                query->bindValue(i, values[i]);
            if (AnswerWatch watched = watch(); query->exec())
                return query;
            error = query->lastError();
            query->finish();
        }
        // reopen() drops the kept statements, so the second try prepares anew.
        if (!reopenedForRepeat(repeatable && !again))
            return nullptr;
    }
}

bool OrbeSession::runTogether(const QString &statements, QSqlError &error)
{
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
    if (answered && !m_postgres && orbe::isReadOnly(error, false))
        why = orbe::sqliteSideFilesCause(database().databaseName());
    if (answered && why.isEmpty())
        why = orbe::cause(error, m_postgres, m_lockWait);
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
    // Inside a failed transaction the server answers with an error code of
    // its own; libpq's errors for a server that went away carry none.
    return !m_postgres || probe.lastError().nativeErrorCode().isEmpty();
}

QString OrbeSession::reopen()
{
    // Prepared statements belong to the old session.
    m_statements.forgetStatements();
    QSqlDatabase db = database();
    db.close();
    return orbe::openSession(db, m_postgres, m_waits).text();
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
