#include "orbeconnection.h"

#include "orberecordsetimpl.h"

#include <QRegularExpression>
#include <QScopeGuard>
#include <QSqlField>
#include <QSqlIndex>

namespace {

// PostgreSQL folds unquoted names to lower case. Columns of the project's
// schema are shown as the schema spells them, so a listing reads the same on
// both databases; statements keep using the names the driver reports.
QString displayName(const QString &driverName)
{
    static const QHash<QString, QString> spelling = [] {
        QHash<QString, QString> names;
        static const QRegularExpression identifier(QStringLiteral(R"(\b[A-Za-z_][A-Za-z0-9_]*\b)"));
        const QString script = orbeSchemaScript(false);
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

// The columns of the statement's result, as known from an earlier run of the
// same statement while its shape is unchanged.
const OrbeConnectionState::Columns &resultColumns(OrbeConnectionState &state, const QString &statement,
                                                   const QSqlRecord &record)
{
    const int count = record.count();
    const auto known = state.columns.constFind(statement);
    if (known != state.columns.cend() && known->sqlNames.size() == count
        && (count == 0 || known->sqlNames.last() == record.fieldName(count - 1)))
        return *known;
    if (state.columns.size() >= 64)
        state.columns.clear();
    OrbeConnectionState::Columns columns;
    for (int i = 0; i < count; ++i) {
        const QSqlField field = record.field(i);
        columns.sqlNames << field.name();
        columns.names << (state.postgres ? displayName(field.name()) : field.name());
        columns.types << field.metaType();
    }
    // Of equal names (a join) the first column wins.
    for (int i = count - 1; i >= 0; --i)
        columns.byName.insert(columns.names[i].toLower(), i);
    return *state.columns.insert(statement, std::move(columns));
}

} // namespace

std::unique_ptr<OrbeRecordset> OrbeConnection::OpenRecordset(const QString &statement, int mode)
{
    switch (mode) {
    case static_cast<int>(OpenMode::Lookup):
        return OpenRecordset(statement, OpenMode::Lookup);
    case static_cast<int>(OpenMode::Editable):
        return OpenRecordset(statement, OpenMode::Editable);
    default:
        throw Failure(ErrorNumber::InvalidArgument, ErrorSource::Database,
                      QStringLiteral("Unbekannter Öffnungsmodus %1.").arg(mode));
    }
}

std::unique_ptr<OrbeRecordset> OrbeConnection::OpenRecordset(const QString &statement, OpenMode mode)
{
    return OpenRecordset(statement, mode, {});
}

std::unique_ptr<OrbeRecordset> OrbeConnection::OpenRecordset(const QString &statement, OpenMode mode,
                                                             const QVariantList &values)
{
    auto impl = std::make_unique<OrbeRecordset::Impl>();
    impl->state = m_state;
    impl->mode = mode;
    impl->statement = statement;
    impl->requireOpen();

    if (mode == OpenMode::Editable) {
        static const QRegularExpression oneTable(
            QStringLiteral(R"(^\s*select\s+\*\s+from\s+([A-Za-z_][A-Za-z0-9_]*)(\s+(where|order)\b.*|\s*;?\s*)$)"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch match = oneTable.match(statement);
        if (!match.hasMatch())
            throw orbe::failure(ErrorNumber::NotUpdatable,
                                QStringLiteral("Bearbeitbar ist nur „select * from Tabelle …“"), {}, statement);
        impl->table = match.captured(1);
        impl->ensureTransaction();
    } else {
        m_state->beforeStatement();
    }

    QSqlDatabase db = database();
    QSqlQuery unprepared;
    QSqlQuery *prepared = nullptr;
    // Rows may arrive from the server while they are read.
    AnswerWatch watched = m_state->watch();
    if (values.isEmpty()) {
        unprepared = m_state->newQuery();
        if (!m_state->run(unprepared, statement, mode == OpenMode::Lookup))
            throw m_state->refused(QStringLiteral("Die Datenbank hat die Anweisung abgelehnt"), unprepared.lastError(),
                                   statement);
    } else {
        QSqlError error;
        prepared = m_state->runPrepared(statement, values, mode == OpenMode::Lookup, error);
        if (!prepared)
            throw m_state->refused(QStringLiteral("Die Datenbank hat die Anweisung abgelehnt"), error, statement);
    }
    QSqlQuery &query = prepared ? *prepared : unprepared;
    // A kept statement is finished however this ends: unfinished, it would hold a transaction open.
    const auto finish = qScopeGuard([prepared] {
        if (prepared)
            prepared->finish();
    });
    if (!query.isSelect())
        throw orbe::failure(ErrorNumber::DatabaseError,
                            QStringLiteral("Die Anweisung liefert keine Datensätze"), {}, statement);

    impl->shape = resultColumns(*m_state, statement, query.record());
    while (query.next())
        impl->rows.push_back(impl->readRow(query));
    if (query.lastError().isValid())
        throw m_state->refused(QStringLiteral("Die Datensätze konnten nicht gelesen werden"), query.lastError(),
                               statement);
    impl->textIndex.resize(impl->shape.names.size());

    if (mode == OpenMode::Editable) {
        const QString tableKey = impl->table.toLower();
        auto known = m_state->primaryKeys.constFind(tableKey);
        if (known == m_state->primaryKeys.cend()) {
            QSqlIndex index = db.primaryIndex(impl->table);
            if (index.isEmpty() && m_state->postgres)
                index = db.primaryIndex(tableKey); // unquoted names are stored lower-case
            QStringList keyNames;
            for (int i = 0; i < index.count(); ++i)
                keyNames << index.fieldName(i);
            known = m_state->primaryKeys.insert(tableKey, keyNames);
        }
        for (const QString &keyName : known.value()) {
            const auto col = impl->shape.byName.constFind(keyName.toLower());
            if (col != impl->shape.byName.cend())
                impl->keyColumns << col.value();
        }
        if (impl->keyColumns.size() != known.value().size())
            impl->keyColumns.clear();
    }

    return std::unique_ptr<OrbeRecordset>(new OrbeRecordset(std::move(impl)));
}
