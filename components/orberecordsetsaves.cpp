#include "orberecordset.h"

#include "orberecordsetimpl.h"

#include <QSqlDriver>

// What the recordset's writes share, what a journal is told of a save, and
// the deletion of a row.

QString OrbeRecordset::Impl::keyConditions() const
{
    QSqlDriver *driver = state->session.database().driver();
    QStringList conditions;
    for (int col : std::as_const(keyColumns))
        conditions << driver->escapeIdentifier(shape.sqlNames[col], QSqlDriver::FieldName) + QStringLiteral(" = ?");
    return conditions.join(QStringLiteral(" AND "));
}

int OrbeRecordset::Impl::executeWrite(const QString &sql, const QString &failureText, const QList<int> &columns)
{
    int bound = 0;
    QSqlQuery *query = &preparedWrite(sql, failureText, columns, bound);
    for (int col : std::as_const(keyColumns))
        query->bindValue(bound++, state->session.bindable(rows[editedRow][col]));
    const bool done = [&] {
        AnswerWatch watched = state->session.watch();
        return query->exec();
    }();
    const int affected = done ? query->numRowsAffected() : 0;
    const QSqlError error = state->session.errorOf(*query);
    query->finish();
    if (!done)
        throw state->session.refused(failureText, error, sql);
    return affected;
}

OrbeSavedRecord OrbeRecordset::Impl::savedRecord(const QList<QVariant> &before) const
{
    OrbeSavedRecord record;
    record.table = table;
    record.added = pending == Pending::AddNew;
    const QList<QVariant> &row = record.added ? rows.back() : rows[editedRow];
    for (int col = 0; col < shape.names.size(); ++col) {
        if (keyColumns.contains(col)) {
            record.key.append({shape.names[col], row[col]});
        } else if (record.added || changed[col]) {
            record.columns << shape.names[col];
            if (!record.added)
                record.before << before[col];
            record.after << row[col];
        }
    }
    return record;
}

void OrbeRecordset::Impl::removeRow(int row)
{
    rows.erase(rows.begin() + row);
    for (auto &columnIndex : textIndex)
        columnIndex.reset();
    if (filtered) {
        std::erase(visible, row);
        for (int &index : visible)
            index -= index > row ? 1 : 0;
    }
}

int OrbeRecordset::Impl::beginRowChange()
{
    requireEditable();
    discardPending();
    const int row = currentRow();
    if (row < 0)
        throw noCurrentRecord();
    requireKey();
    requireOpen();
    ensureTransaction();
    return row;
}

void OrbeRecordset::Delete()
{
    const int row = d->beginRowChange();
    d->editedRow = row;
    const QString sql = QStringLiteral("DELETE FROM %1 WHERE %2").arg(d->table, d->keyConditions());
    const int affected = d->executeWrite(sql, QStringLiteral("Der Datensatz konnte nicht gelöscht werden"), {});
    d->editedRow = -1;
    if (affected == 0)
        throw orbe::failure(ErrorNumber::DatabaseError,
                            QStringLiteral("Der zu löschende Datensatz ist in der Datenbank nicht mehr vorhanden"), {},
                            d->statement);
    d->transaction->commit();
    d->removeRow(row);
}
