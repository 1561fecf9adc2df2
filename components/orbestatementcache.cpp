#include "orbestatementcache.h"

#include "orbeconnection.h"
#include "orbeinternal.h"
#include "orbesession.h"

#include <QRegularExpression>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlRecord>

namespace {

// PostgreSQL folds unquoted names to lower case. Columns of the project's
// schema are shown as the schema spells them, so a listing reads the same on
// both databases; statements keep using the names the driver reports.
QString displayName(const QString &driverName)
{
    static const QHash<QString, QString> spelling = [] {
        QHash<QString, QString> names;
        static const QRegularExpression identifier(QStringLiteral(R"(\b[A-Za-z_][A-Za-z0-9_]*\b)"));
        const QString script = orbeSchemaScript(DatabaseSystem::SQLite);
        for (auto it = identifier.globalMatch(script); it.hasNext();) {
            const QString name = it.next().captured();
            if (name != name.toLower() && name != name.toUpper())
                names.insert(name.toLower(), name);
        }
        return names;
    }();
    if (driverName != driverName.toLower())
        return driverName;
    return spelling.value(driverName, driverName);
}

constexpr int MostKept = 64;

} // namespace

QSqlQuery *OrbeStatementCache::prepared(OrbeSession &session, const QString &sql, QSqlError &error)
{
    auto found = m_prepared.find(sql);
    if (found != m_prepared.end())
        return &found.value();
    if (m_prepared.size() >= MostKept)
        forgetStatements();
    QSqlQuery query = session.newQuery();
    if (AnswerWatch watched = session.watch(); !query.prepare(session.statement(sql))) {
        error = session.errorOf(query);
        return nullptr;
    }
    return &m_prepared.insert(sql, query).value();
}

const OrbeStatementCache::Columns &OrbeStatementCache::resultColumns(const QString &statement,
                                                                     const QSqlRecord &record, bool lowerCase)
{
    const int count = record.count();
    const auto known = m_columns.constFind(statement);
    if (known != m_columns.cend() && known->sqlNames.size() == count
        && (count == 0 || known->sqlNames.last() == record.fieldName(count - 1)))
        return *known;
    if (m_columns.size() >= MostKept)
        m_columns.clear();
    Columns columns;
    for (int i = 0; i < count; ++i) {
        const QSqlField field = record.field(i);
        columns.sqlNames << field.name();
        columns.names << (lowerCase ? displayName(field.name()) : field.name());
        columns.types << field.metaType();
    }
    // Of equal names (a join) the first column wins.
    for (int i = count - 1; i >= 0; --i)
        columns.byName.insert(columns.names[i].toLower(), i);
    return *m_columns.insert(statement, std::move(columns));
}

const QStringList &OrbeStatementCache::primaryKey(OrbeSession &session, const QString &table)
{
    const QString tableKey = table.toLower();
    auto known = m_primaryKeys.constFind(tableKey);
    if (known != m_primaryKeys.cend())
        return *known;
    const QSqlDatabase db = session.database();
    if (session.dialect().isMariaDb())
        return *m_primaryKeys.insert(tableKey, orbe::mariaDbPrimaryKey(db, table));
    QSqlIndex index = db.primaryIndex(table);
    if (index.isEmpty() && session.isPostgres())
        index = db.primaryIndex(tableKey); // unquoted names are stored lower-case
    QStringList keyNames;
    for (int i = 0; i < index.count(); ++i)
        keyNames << index.fieldName(i);
    return *m_primaryKeys.insert(tableKey, keyNames);
}

void OrbeStatementCache::forgetStatements()
{
    m_prepared.clear();
    m_columns.clear();
}

void OrbeStatementCache::forget()
{
    forgetStatements();
    m_primaryKeys.clear();
}
