#include "orbeconnection.h"

#include "orbeinternal.h"

#include <QFile>
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

QString orbeSchemaScript(DatabaseSystem system)
{
    initSchemaResource();
    QFile file(system == DatabaseSystem::PostgreSQL ? QStringLiteral(":/schema/postgresql.sql")
               : system == DatabaseSystem::MariaDB  ? QStringLiteral(":/schema/mariadb.sql")
                                                    : QStringLiteral(":/schema/sqlite.sql"));
    if (!file.open(QIODevice::ReadOnly))
        throw Failure(ErrorNumber::DatabaseError, ErrorSource::Database,
                      QStringLiteral("Das Datenbankschema ist im Programm nicht vorhanden."));
    return QString::fromUtf8(file.readAll());
}

OrbeConnection::OrbeConnection(const QString &connectionName, QString description, Dialect dialect,
                               DatabaseWaits waits)
    : m_connectionName(connectionName)
    , m_description(std::move(description))
    , m_state(std::make_shared<OrbeConnectionState>(connectionName, dialect, std::move(waits)))
{
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
    m_state->session.beforeStatement();
    // The statement may change a table that a prepared write refers to.
    m_state->statements.forget();
    QSqlQuery query(database());
    if (!m_state->session.run(query, statement))
        throw m_state->session.refused(QStringLiteral("Die Datenbank hat die Anweisung abgelehnt"), query.lastError(),
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

    m_state->session.beforeStatement();
    QSqlDatabase db = database();
    if (!db.transaction())
        throw m_state->session.refused(QStringLiteral("Die Transaktion konnte nicht begonnen werden"), db.lastError());
    try {
        for (const QString &statement : std::as_const(statements))
            execute(statement);
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw m_state->session.refused(QStringLiteral("Die Transaktion konnte nicht abgeschlossen werden"), db.lastError());
    m_state->statements.forget();
}

void OrbeConnection::createSchema()
{
    executeScript(orbeSchemaScript(m_state->session.dialect().system));
}

QSqlDatabase OrbeConnection::database() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

bool OrbeConnection::isPostgres() const
{
    return m_state->session.isPostgres();
}

const Dialect &OrbeConnection::dialect() const
{
    return m_state->session.dialect();
}

void OrbeConnection::cancelWaits()
{
    m_state->session.waits().cancel();
}

void OrbeConnection::clearCancel()
{
    m_state->session.waits().clearCancel();
}

void OrbeConnection::setSaveJournal(OrbeSaveJournal *journal)
{
    m_state->journal = journal;
}

void OrbeConnection::close()
{
    m_state->session.close();
}
