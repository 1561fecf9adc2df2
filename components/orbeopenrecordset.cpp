#include "orbeconnection.h"

#include "orberecordsetimpl.h"

#include <QRegularExpression>

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

    const bool ofOneTable = mode == OpenMode::Editable || mode == OpenMode::Snapshot;
    if (ofOneTable) {
        static const QRegularExpression oneTable(
            QStringLiteral(R"(^\s*select\s+\*\s+from\s+([A-Za-z_][A-Za-z0-9_]*)(\s+(where|order)\b.*|\s*;?\s*)$)"),
            QRegularExpression::CaseInsensitiveOption | QRegularExpression::DotMatchesEverythingOption);
        const QRegularExpressionMatch match = oneTable.match(statement);
        if (!match.hasMatch())
            throw orbe::failure(ErrorNumber::NotUpdatable,
                                QStringLiteral("Bearbeitbar ist nur „select * from Tabelle …“"), {}, statement);
        impl->table = match.captured(1);
    }
    if (mode == OpenMode::Editable)
        impl->ensureTransaction();
    else
        m_state->session.beforeStatement();

    OrbeSession &session = m_state->session;
    OrbeRows result;
    QSqlError error;
    // A read changes nothing: on a connection found lost it runs once more.
    if (!session.run(statement, values, !values.isEmpty(), &result, error,
                     mode != OpenMode::Editable ? OrbeSession::Repeat::OnLostConnection : OrbeSession::Repeat::No))
        throw session.refused(QStringLiteral("Die Datenbank hat die Anweisung abgelehnt"), error, statement);
    if (result.names.isEmpty())
        throw orbe::failure(ErrorNumber::DatabaseError,
                            QStringLiteral("Die Anweisung liefert keine Datensätze"), {}, statement);

    impl->shape = session.statements().resultColumns(statement, result, session.system() == DatabaseSystem::PostgreSQL);
    impl->rows.reserve(result.rows.size());
    for (QList<QVariant> &row : result.rows)
        impl->rows.push_back(impl->normalisedRow(std::move(row)));
    impl->textIndex.resize(impl->shape.names.size());

    if (ofOneTable) {
        const QStringList &keyNames = session.statements().primaryKey(session, impl->table);
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
