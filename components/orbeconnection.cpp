#include "orbeconnection.h"

#include "orbeinternal.h"
#include "orbelink_odbc.h"

#include <QFile>

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

OrbeConnection::OrbeConnection(std::shared_ptr<OrbeConnectionState> state, QString description)
    : m_description(std::move(description))
    , m_state(std::move(state))
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
    execute(statement, {});
}

void OrbeConnection::execute(const QString &statement, const QVariantList &values)
{
    OrbeSession &session = m_state->session;
    session.beforeStatement();
    // The statement may change a table that a kept statement refers to.
    if (values.isEmpty()) {
        session.statements().forget();
        session.link().forgetStatements();
    }
    QSqlError error;
    if (!session.run(statement, values, !values.isEmpty(), nullptr, error))
        throw session.refused(QStringLiteral("Die Datenbank hat die Anweisung abgelehnt"), error, statement);
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

    execute(QStringLiteral("BEGIN"));
    try {
        for (const QString &statement : std::as_const(statements))
            execute(statement);
    } catch (...) {
        QSqlError ignored;
        m_state->session.run(QStringLiteral("ROLLBACK"), ignored);
        throw;
    }
    execute(QStringLiteral("COMMIT"));
}

void OrbeConnection::createSchema()
{
    executeScript(orbeSchemaScript(system()));
}

DatabaseSystem OrbeConnection::system() const
{
    return m_state->session.system();
}

bool OrbeConnection::viaOdbc() const
{
    return dynamic_cast<OdbcLink *>(&m_state->session.link()) != nullptr;
}

void OrbeConnection::cancelWaits()
{
    m_state->session.waits().cancel->request();
}

void OrbeConnection::clearCancel()
{
    m_state->session.waits().cancel->clear();
}

void OrbeConnection::setWaitObserver(WaitObserver *observer)
{
    m_state->session.waits().cancel->setObserver(observer);
}

void OrbeConnection::setSaveJournal(OrbeSaveJournal *journal)
{
    m_state->journal = journal;
}

void OrbeConnection::close()
{
    m_state->session.close();
}
