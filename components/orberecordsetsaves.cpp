#include "orberecordset.h"

#include "orberecordsetimpl.h"

// What the recordset's writes share, what a journal is told of a save, and
// the deletion of a row.

QString OrbeRecordset::Impl::keyConditions() const
{
    QStringList conditions;
    for (int col : std::as_const(keyColumns))
        conditions << state->session.link().escapeIdentifier(shape.sqlNames[col]) + QStringLiteral(" = ?");
    return conditions.join(QStringLiteral(" AND "));
}

int OrbeRecordset::Impl::executeWrite(const QString &sql, const QString &failureText, const QList<int> &columns)
{
    QVariantList values = bufferValues(columns);
    for (int col : std::as_const(keyColumns))
        values << rows[editedRow][col];
    OrbeRows written;
    QSqlError error;
    if (!state->session.run(sql, values, true, &written, error))
        throw state->session.refused(failureText, error, sql);
    return written.affected;
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
    if (d->mode == OpenMode::Snapshot)
        throw Failure(ErrorNumber::NotUpdatable, ErrorSource::Database,
                      QStringLiteral("Aus einer gelesenen Momentaufnahme wird nichts gelöscht."));
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
