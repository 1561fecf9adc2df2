#include "orbestatementcache.h"

#include "orbeconnection.h"
#include "orbeinternal.h"
#include "orbesession.h"

#include <QRegularExpression>

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

const OrbeStatementCache::Columns &OrbeStatementCache::resultColumns(const QString &statement, const OrbeRows &rows,
                                                                     bool lowerCase)
{
    const qsizetype count = rows.names.size();
    const auto known = m_columns.constFind(statement);
    if (known != m_columns.cend() && known->sqlNames == rows.names && known->types == rows.types)
        return *known;
    if (m_columns.size() >= MostKept)
        m_columns.clear();
    Columns columns;
    columns.sqlNames = rows.names;
    columns.types = rows.types;
    for (const QString &name : rows.names)
        columns.names << (lowerCase ? displayName(name) : name);
    // Of equal names (a join) the first column wins.
    for (qsizetype i = count - 1; i >= 0; --i)
        columns.byName.insert(columns.names[i].toLower(), int(i));
    return *m_columns.insert(statement, std::move(columns));
}

const QStringList &OrbeStatementCache::primaryKey(OrbeSession &session, const QString &table)
{
    const QString tableKey = table.toLower();
    const auto known = m_primaryKeys.constFind(tableKey);
    if (known != m_primaryKeys.cend())
        return *known;
    QStringList columns;
    QSqlError error;
    if (!session.dialect().primaryKey(session, table, columns, error))
        throw session.refused(QStringLiteral("Der Primärschlüssel der Tabelle %1 ließ sich nicht ermitteln")
                                  .arg(orbe::quoted(table)),
                              error);
    return *m_primaryKeys.insert(tableKey, columns);
}

bool OrbeStatementCache::addsTogether(OrbeSession &session, const QString &table)
{
    const QString tableKey = table.toLower();
    const auto known = m_addsTogether.constFind(tableKey);
    if (known != m_addsTogether.cend())
        return *known;
    const QStringList &key = primaryKey(session, table);
    const QString query = session.dialect().insertsAsGiven();
    bool adds = false;
    if (key.size() == 1 && !query.isEmpty()) {
        OrbeRows answer;
        QSqlError error;
        if (!session.run(query, {table, key.first()}, false, &answer, error, OrbeSession::Repeat::OnLostConnection))
            throw session.refused(QStringLiteral("Die Tabelle %1 ließ sich nicht befragen").arg(orbe::quoted(table)), error,
                                  query);
        adds = !answer.rows.empty() && answer.rows.front().value(0).toBool();
    }
    return *m_addsTogether.insert(tableKey, adds);
}

void OrbeStatementCache::forget()
{
    forgetStatements();
    m_primaryKeys.clear();
    m_addsTogether.clear();
}
