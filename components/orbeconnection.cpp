#include "orbeconnection.h"

#include "orbeinternal.h"

#include <QFile>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlQuery>

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

QString shortened(const QString &statement)
{
    QString text = statement.simplified();
    constexpr qsizetype limit = 300;
    if (text.size() > limit)
        text = text.left(limit) + QStringLiteral(" …");
    return text;
}

bool isReadOnly(const QSqlError &error)
{
    const QString code = error.nativeErrorCode();
    bool numeric = false;
    const int sqliteCode = code.toInt(&numeric); // SQLite's codes are numbers, PostgreSQL's SQLSTATEs are not
    // PostgreSQL's read-only transaction; SQLITE_READONLY and its extended codes
    return code == QLatin1String("25006") || (numeric && (sqliteCode & 0xff) == 8);
}

namespace {

// What the driver's error says about the database as a whole, in words a user
// can act on; empty for an error of the one statement.
QString cause(const QSqlError &error, bool connectionLost)
{
    if (connectionLost)
        return QStringLiteral("Die Verbindung zur Datenbank ist abgebrochen");
    const QString code = error.nativeErrorCode();
    const QString text = error.databaseText();
    if (isReadOnly(error))
        return QStringLiteral("Die Datenbank ist schreibgeschützt; sie nimmt keine Änderungen an");
    bool numeric = false;
    const int sqliteCode = code.toInt(&numeric);
    if (code == QLatin1String("55P03") || (numeric && (sqliteCode & 0xff) == 5)) // lock not available, SQLITE_BUSY
        return QStringLiteral("Ein anderes Programm hält die Datenbank zu lange gesperrt");
    if (code == QLatin1String("42501"))
        return QStringLiteral("Dem Datenbankbenutzer fehlt die Berechtigung dafür");
    if (code == QLatin1String("42703") || code == QLatin1String("42P01")
        || text.contains(QLatin1String("no such column")) || text.contains(QLatin1String("has no column named"))
        || text.contains(QLatin1String("no such table")))
        return QStringLiteral("Die Datenbank passt nicht zu Tarvel: ihr fehlt eine Tabelle oder Spalte, die Tarvel braucht");
    return {};
}

} // namespace

Failure failure(long number, const QString &description, const QSqlError &error,
                const QString &statement, bool connectionLost)
{
    QString text = description;
    if (const QString why = cause(error, connectionLost); !why.isEmpty())
        text += QStringLiteral(" (") + why + u')';
    const QString driverText = error.text().trimmed();
    if (!driverText.isEmpty())
        text += QStringLiteral(": ") + driverText;
    if (!statement.isEmpty())
        text += QStringLiteral(" (Anweisung: ") + shortened(statement) + u')';
    return Failure(number, ErrorSource::Database, text);
}

QString startSession(QSqlDatabase &db, bool postgres, bool wal)
{
    QStringList statements;
    // Every stored row is its own transaction. On PostgreSQL a commit waits
    // for the server's write-ahead log (its default), so a row the log reports
    // as saved survives a crash of the server.
    if (!postgres) {
        statements << QStringLiteral("PRAGMA foreign_keys = ON");
        if (wal)
            statements << QStringLiteral("PRAGMA journal_mode = WAL") << QStringLiteral("PRAGMA synchronous = NORMAL");
        // The schema is read once, so a file that is no database fails here, not later.
        statements << QStringLiteral("SELECT count(*) FROM sqlite_master");
    }
    for (const QString &statement : std::as_const(statements)) {
        // Each query is finished at once: an unfinished one holds a
        // transaction open and WAL would silently not apply.
        QSqlQuery query(db);
        if (!query.exec(statement))
            return query.lastError().text();
        while (query.next()) {
        }
        query.finish();
    }
    return {};
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
        const QString reason = reopen();
        if (!reason.isEmpty())
            throw Failure(ErrorNumber::NotConnected, ErrorSource::Database,
                          QStringLiteral("Die Verbindung zur Datenbank ist abgebrochen und lässt sich nicht "
                                         "wieder herstellen: %1").arg(reason));
    }
    suspect = false;
}

bool OrbeConnectionState::run(QSqlQuery &query, const QString &sql, bool repeatable)
{
    if (query.exec(sql))
        return true;
    suspect = true;
    if (!repeatable || transactionOwner || !lost() || !reopen().isEmpty())
        return false;
    suspect = false;
    query = newQuery();
    if (query.exec(sql))
        return true;
    suspect = true;
    return false;
}

Failure OrbeConnectionState::refused(const QString &description, const QSqlError &error, const QString &statement)
{
    suspect = true;
    return orbe::failure(ErrorNumber::DatabaseError, description, error, statement, lost());
}

bool OrbeConnectionState::lost()
{
    QSqlDatabase db = database();
    if (!db.isOpen())
        return true;
    QSqlQuery probe(db);
    if (probe.exec(QStringLiteral("SELECT 1")))
        return false;
    // Inside a failed transaction the server answers with an error code of
    // its own; libpq's errors for a server that went away carry none.
    return !postgres || probe.lastError().nativeErrorCode().isEmpty();
}

QString OrbeConnectionState::reopen()
{
    // Prepared statements belong to the old session.
    prepared.clear();
    QSqlDatabase db = database();
    db.close();
    if (!db.open())
        return db.lastError().text();
    // Only the program's own connections are reopened, and those use WAL.
    return orbe::startSession(db, postgres, true);
}

void OrbeConnectionState::beginTransaction(const void *owner, const QString &table)
{
    beforeStatement();
    // SQLite: IMMEDIATE takes the one write lock before the read, and the busy
    // timeout lets a second writer wait for it rather than fail. PostgreSQL:
    // SHARE ROW EXCLUSIVE conflicts with itself and with every INSERT, UPDATE
    // and DELETE on the table, while plain reads go on; taken before the
    // read, it makes that read see every row an earlier writer committed.
    // (Two statements in one exec would save a round trip, but the driver
    // reports only the first one's error.)
    const QString begin = postgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE");
    const QString lock = postgres ? QStringLiteral("LOCK TABLE %1 IN SHARE ROW EXCLUSIVE MODE").arg(table) : QString();
    QSqlQuery query = newQuery();
    QString failed = begin;
    if (run(query, begin, true)) {
        transactionOwner = owner;
        if (lock.isEmpty() || run(query, lock))
            return;
        failed = lock;
    }
    const QSqlError error = query.lastError();
    rollback(owner);
    // A read-only database refuses the write lock, but then nothing can write
    // anyway: the recordset still reads, and a write fails where it is tried.
    if (orbe::isReadOnly(error) && run(query, QStringLiteral("BEGIN"))) {
        transactionOwner = owner;
        return;
    }
    throw refused(QStringLiteral("Die Transaktion konnte nicht begonnen werden"), error, failed);
}

void OrbeConnectionState::commit(const void *owner)
{
    if (transactionOwner != owner)
        return;
    QSqlQuery query = newQuery();
    if (run(query, QStringLiteral("COMMIT"))) {
        transactionOwner = nullptr;
        return;
    }
    const QSqlError error = query.lastError();
    rollback(owner);
    throw refused(QStringLiteral("Der Datensatz konnte nicht gespeichert werden, die Transaktion ließ sich "
                                 "nicht abschließen"), error);
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

OrbeConnection::OrbeConnection(const QString &connectionName, QString description)
    : m_connectionName(connectionName)
    , m_description(std::move(description))
    , m_state(std::make_shared<OrbeConnectionState>())
{
    m_state->connectionName = connectionName;
    m_state->postgres = QSqlDatabase::database(connectionName, false).driverName() == QLatin1String("QPSQL");
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
    m_state->prepared.clear();
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

void OrbeConnection::close()
{
    if (!m_state->open)
        return;
    m_state->open = false;
    m_state->transactionOwner = nullptr;
    m_state->prepared.clear();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}
