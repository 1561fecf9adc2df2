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

Failure failure(long number, const QString &description, const QSqlError &error,
                const QString &statement)
{
    QString text = description;
    const QString driverText = error.text().trimmed();
    if (!driverText.isEmpty())
        text += QStringLiteral(": ") + driverText;
    if (!statement.isEmpty())
        text += QStringLiteral(" (Anweisung: ") + shortened(statement) + u')';
    return Failure(number, ErrorSource::Database, text);
}

} // namespace orbe

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
    if (!m_state->open)
        throw orbe::failure(ErrorNumber::NotConnected,
                            QStringLiteral("Die Datenbankverbindung ist geschlossen"), {}, statement);
    // The statement may change a table that a prepared write refers to.
    m_state->prepared.clear();
    m_state->primaryKeys.clear();
    QSqlQuery query(database());
    if (!query.exec(statement))
        throw orbe::failure(ErrorNumber::DatabaseError,
                            QStringLiteral("Die Datenbank hat die Anweisung abgelehnt"),
                            query.lastError(), statement);
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

    QSqlDatabase db = database();
    if (!db.transaction())
        throw orbe::failure(ErrorNumber::DatabaseError,
                            QStringLiteral("Die Transaktion konnte nicht begonnen werden"),
                            db.lastError());
    try {
        for (const QString &statement : std::as_const(statements))
            execute(statement);
    } catch (...) {
        db.rollback();
        throw;
    }
    if (!db.commit())
        throw orbe::failure(ErrorNumber::DatabaseError,
                            QStringLiteral("Die Transaktion konnte nicht abgeschlossen werden"),
                            db.lastError());
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
    m_state->prepared.clear();
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}
