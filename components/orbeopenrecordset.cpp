#include "orbeconnection.h"

#include "orberecordsetimpl.h"

#include <QRegularExpression>
#include <QScopeGuard>

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
        m_state->session.beforeStatement();
    }

    QSqlQuery unprepared;
    QSqlQuery *prepared = nullptr;
    // Rows may arrive from the server while they are read.
    OrbeSession &session = m_state->session;
    AnswerWatch watched = session.watch();
    if (values.isEmpty()) {
        unprepared = session.newQuery();
        if (!session.run(unprepared, statement, mode == OpenMode::Lookup))
            throw session.refused(QStringLiteral("Die Datenbank hat die Anweisung abgelehnt"), session.errorOf(unprepared),
                                   statement);
    } else {
        QSqlError error;
        prepared = session.runPrepared(statement, values, mode == OpenMode::Lookup, error);
        if (!prepared)
            throw session.refused(QStringLiteral("Die Datenbank hat die Anweisung abgelehnt"), error, statement);
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

    impl->shape = m_state->statements.resultColumns(statement, query.record(), session.isPostgres());
    while (query.next())
        impl->rows.push_back(impl->readRow(query));
    if (query.lastError().isValid())
        throw session.refused(QStringLiteral("Die Datensätze konnten nicht gelesen werden"), session.errorOf(query),
                               statement);
    impl->textIndex.resize(impl->shape.names.size());

    if (mode == OpenMode::Editable) {
        const QStringList &keyNames = m_state->statements.primaryKey(session, impl->table);
        for (const QString &keyName : keyNames) {
            const auto col = impl->shape.byName.constFind(keyName.toLower());
            if (col != impl->shape.byName.cend())
                impl->keyColumns << col.value();
        }
        if (impl->keyColumns.size() != keyNames.size())
            impl->keyColumns.clear();
    }

    return std::unique_ptr<OrbeRecordset>(new OrbeRecordset(std::move(impl)));
}
