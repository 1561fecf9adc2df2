#include "orbeconnection.h"

#include "orbeinternal.h"

#include <QFile>
#include <QLocale>
#include <QSqlQuery>

#include <libpq-fe.h>

// The schema scripts are a resource of this static library; without a reference
// to its initialiser the linker would drop them.
static void initSchemaResource()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(schema);
        return true;
    }();
    Q_UNUSED(done);
}

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

void OrbeConnectionState::beforeStatement()
{
    if (!open)
        throw Failure(ErrorNumber::NotConnected, ErrorSource::Database,
                      QStringLiteral("Die Datenbankverbindung ist geschlossen."));
    if (!suspect || transactionOwner)
        return;
    if (lost()) {
        if (QString reason = reopen(); !reason.isEmpty()) {
            if (std::optional<Failure> cancelled = waits.cancelled())
                throw *cancelled;
            if (const QString silent = orbe::silentServerCause(waits.watchdog.get()); !silent.isEmpty())
                reason = silent;
            throw Failure(ErrorNumber::NotConnected, ErrorSource::Database,
                          QStringLiteral("Die Verbindung zur Datenbank ist abgebrochen und lässt sich nicht "
                                         "wieder herstellen: %1").arg(reason));
        }
    }
    suspect = false;
}

bool OrbeConnectionState::run(QSqlQuery &query, const QString &sql, bool repeatable)
{
    if (AnswerWatch watched = watch(); query.exec(sql))
        return true;
    if (!reopenedForRepeat(repeatable))
        return false;
    query = newQuery();
    if (AnswerWatch watched = watch(); query.exec(sql))
        return true;
    suspect = true;
    return false;
}

QSqlQuery *OrbeConnectionState::runPrepared(const QString &sql, const QVariantList &values, bool repeatable,
                                            QSqlError &error)
{
    for (bool again = false;; again = true) {
        if (QSqlQuery *query = preparedQuery(sql, error)) {
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

bool OrbeConnectionState::reopenedForRepeat(bool repeatable)
{
    suspect = true;
    if (!repeatable || transactionOwner || !lost() || !reopen().isEmpty())
        return false;
    suspect = false;
    return true;
}

Failure OrbeConnectionState::refused(const QString &description, const QSqlError &error, const QString &statement,
                                     const QString &withoutAnswer)
{
    suspect = true;
    if (std::optional<Failure> cancelled = waits.cancelled())
        return *cancelled;
    QString why = orbe::silentServerCause(waits.watchdog.get());
    if (why.isEmpty() && lost())
        why = QStringLiteral("Die Verbindung zur Datenbank ist abgebrochen");
    const bool answered = why.isEmpty();
    if (answered && !postgres && orbe::isReadOnly(error, false))
        why = orbe::sqliteSideFilesCause(database().databaseName());
    if (answered && why.isEmpty())
        why = orbe::cause(error, postgres, lockWait);
    return orbe::failure(ErrorNumber::DatabaseError, answered || withoutAnswer.isEmpty() ? description : withoutAnswer,
                         error, statement, why);
}

bool OrbeConnectionState::lost()
{
    QSqlDatabase db = database();
    if (!db.isOpen())
        return true;
    QSqlQuery probe(db);
    if (AnswerWatch watched = watch(); probe.exec(QStringLiteral("SELECT 1")))
        return false;
    // Inside a failed transaction the server answers with an error code of
    // its own; libpq's errors for a server that went away carry none.
    return !postgres || probe.lastError().nativeErrorCode().isEmpty();
}

QString OrbeConnectionState::reopen()
{
    // Prepared statements belong to the old session.
    forgetStatements();
    QSqlDatabase db = database();
    db.close();
    return orbe::openSession(db, postgres, waits).text();
}

void OrbeConnectionState::requireSameFile()
{
    if (postgres || !orbe::sqliteFileMoved(database()))
        return;
    // SQLite leaves its write-ahead log of a moved file behind on closing, and
    // the file that now has the name would take it for its own: what this
    // connection saved goes into the file it opened, and the log is emptied.
    if (transactionOwner)
        rollback(transactionOwner);
    QSqlQuery checkpoint = newQuery();
    checkpoint.exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    checkpoint.finish();
    throw Failure(ErrorNumber::DatabaseError, ErrorSource::Database,
                  QStringLiteral("Die Datenbankdatei %1 wurde während des Laufs ersetzt, verschoben oder gelöscht. "
                                 "Tarvel schreibt nicht in eine Datei, die es nicht geöffnet hat; bitte starten Sie "
                                 "Tarvel neu.")
                      .arg(orbe::quoted(database().databaseName())));
}

void OrbeConnectionState::beginTransaction(const void *owner, const QString &table)
{
    beforeStatement();
    requireSameFile();
    // SQLite: IMMEDIATE takes the one write lock before the read, and the busy
    // timeout lets a second writer wait for it rather than fail. PostgreSQL:
    // SHARE ROW EXCLUSIVE conflicts with itself and with every INSERT, UPDATE
    // and DELETE on the table, while plain reads go on; taken before the
    // read, it makes that read see every row an earlier writer committed.
    QSqlError error;
    QString failed;
    if (postgres) {
        const QString begin = QStringLiteral("BEGIN");
        const QString lock = QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(table);
        if (runTogether(begin + QStringLiteral("; ") + lock, error)) {
            transactionOwner = owner;
            return;
        }
        // Inside a transaction after the failure: the lock failed, not the begin.
        const bool begun = PQtransactionStatus(libpqConnection(database())) == PQTRANS_INERROR;
        if (begun)
            transactionOwner = owner;
        failed = begun ? lock : begin;
    } else {
        failed = QStringLiteral("BEGIN IMMEDIATE");
        QSqlQuery query = newQuery();
        if (run(query, failed, true)) {
            transactionOwner = owner;
            return;
        }
        error = query.lastError();
    }
    rollback(owner);
    // A read-only database refuses the write lock, but then nothing can write
    // anyway: the recordset still reads, and a write fails where it is tried.
    QSqlQuery query = newQuery();
    if (orbe::isReadOnly(error, postgres) && run(query, QStringLiteral("BEGIN"))) {
        transactionOwner = owner;
        return;
    }
    throw refused(QStringLiteral("Die Transaktion konnte nicht begonnen werden"), error, failed);
}

bool OrbeConnectionState::runTogether(const QString &statements, QSqlError &error)
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

void OrbeConnectionState::commit(const void *owner)
{
    if (transactionOwner != owner)
        return;
    requireSameFile();
    QSqlQuery query = newQuery();
    if (run(query, QStringLiteral("COMMIT"))) {
        transactionOwner = nullptr;
        return;
    }
    const QSqlError error = query.lastError();
    rollback(owner);
    // Without an answer nobody can tell whether the server committed.
    throw refused(QStringLiteral("Der Datensatz konnte nicht gespeichert werden, die Transaktion ließ sich "
                                 "nicht abschließen"),
                  error, {},
                  QStringLiteral("Ob der Datensatz gespeichert ist, ist ungewiss: die Transaktion wurde zum "
                                 "Abschließen geschickt, eine Bestätigung kam nicht"));
}

void OrbeConnectionState::rollback(const void *owner) noexcept
{
    if (transactionOwner != owner)
        return;
    transactionOwner = nullptr;
    if (!open)
        return;
    QSqlQuery query = newQuery();
    run(query, QStringLiteral("ROLLBACK"));
}

QString orbeSchemaScript(bool postgres)
{
    initSchemaResource();
    QFile file(postgres ? QStringLiteral(":/schema/postgresql.sql")
                        : QStringLiteral(":/schema/sqlite.sql"));
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(ErrorNumber::DatabaseError, ErrorSource::Database,
                      QStringLiteral("Das Datenbankschema ist im Programm nicht vorhanden."));
    return QString::fromUtf8(file.readAll());
}

OrbeConnection::OrbeConnection(const QString &connectionName, QString description, DatabaseWaits waits)
    : m_connectionName(connectionName)
    , m_description(std::move(description))
    , m_state(std::make_shared<OrbeConnectionState>())
{
    m_state->connectionName = connectionName;
    m_state->postgres = QSqlDatabase::database(connectionName, false).driverName() == QLatin1String("QPSQL");
    m_state->waits = std::move(waits);
    m_state->lockWait = orbe::lockWaitMilliseconds();
}

OrbeConnection::~OrbeConnection()
{
    close();
}

QString OrbeConnection::Description() const
{
    return m_description;
}

void OrbeConnection::execute(const QString &statement)
{
    m_state->beforeStatement();
    // The statement may change a table that a prepared write refers to.
    m_state->forgetStatements();
    m_state->primaryKeys.clear();
    QSqlQuery query(database());
    if (!m_state->run(query, statement))
        throw m_state->refused(QStringLiteral("Die Datenbank hat die Anweisung abgelehnt"), query.lastError(),
                               statement);
}

void OrbeConnection::executeScript(const QString &script)
{
    QStringList statements;
    QString current;
    for (const QString &line : script.split(u'\n')) {
        const QString trimmed = line.trimmed();
        if (trimmed.isEmpty() || trimmed.startsWith(QLatin1String("--")))
            continue;
        current += line + u'\n';
        if (trimmed.endsWith(u';')) {
            statements << current.trimmed().chopped(1);
            current.clear();
        }
    }
    if (!current.trimmed().isEmpty())
        statements << current.trimmed();

    m_state->beforeStatement();
    QSqlDatabase db = database();
    if (!db.transaction())
        throw m_state->refused(QStringLiteral("Die Transaktion konnte nicht begonnen werden"), db.lastError());
    try {
        for (const QString &statement : std::as_const(statements))
            execute(statement);
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw m_state->refused(QStringLiteral("Die Transaktion konnte nicht abgeschlossen werden"), db.lastError());
    m_state->primaryKeys.clear();
}

void OrbeConnection::createSchema()
{
    executeScript(orbeSchemaScript(m_state->postgres));
}

QSqlDatabase OrbeConnection::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool OrbeConnection::isPostgres() const
{
    return m_state->postgres;
}

void OrbeConnection::cancelWaits()
{
    m_state->waits.cancel();
}

void OrbeConnection::clearCancel()
{
    m_state->waits.clearCancel();
}

void OrbeConnection::close()
{
    if (!m_state->open)
        return;
    m_state->open = false;
    m_state->transactionOwner = nullptr;
    m_state->forgetStatements();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}
