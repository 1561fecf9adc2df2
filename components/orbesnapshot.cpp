#include "orberecordset.h"

#include "orberecordsetimpl.h"

// A snapshot recordset's saves: each written as the rows read predict it,
// queued with the connection and sent with others (orbesavebatch.cpp). A
// save finds out itself whether the prediction holds: its statement gives
// one row back, or divides by zero when its record is not as read, which
// the server then takes for a failure and skips the rest of the batch.

namespace {
// What makes a write give one row back, or divide by zero when it wrote none.
const QString CountedBack = QStringLiteral(" RETURNING 1) SELECT 1 / count(*) FROM w");
} // namespace

OrbeRecordset::Impl::~Impl()
{
    if (mode == OpenMode::Snapshot && state)
        std::erase_if(state->waitingSaves, [this](const OrbeWaitingSave &save) { return save.owner == this; });
}

void OrbeRecordset::MatchColumns(const QStringList &columns)
{
    d->matchColumns.clear();
    for (const QString &name : columns)
        d->matchColumns << d->column(name);
}

bool OrbeRecordset::HasUnsentSave() const
{
    if (!d->filtered)
        return !d->unsent.empty();
    return std::any_of(d->visible.cbegin(), d->visible.cend(), [&](int row) { return d->unsent.count(row) > 0; });
}

void OrbeRecordset::Impl::queueSave()
{
    requireKey();
    if (keyColumns.size() != 1)
        throw orbe::failure(ErrorNumber::NotUpdatable,
                            QStringLiteral("Gesammelt gespeichert werden nur Datensätze mit einspaltigem Schlüssel"), {},
                            statement);
    const int key = keyColumns.first();
    OrbeWaitingSave save{.owner = this, .table = table, .keyColumn = shape.sqlNames[key],
                         .added = pending == Pending::AddNew, .write = {}, .values = {}, .record = {}, .settle = {}};
    const QList<QVariant> before = save.added ? QList<QVariant>() : rows[editedRow];
    if (save.added)
        queuedInsert(save, key);
    else
        queuedUpdate(save, key, before);
    save.record = savedRecord(before);
    const int row = editedRow;
    const QMetaType keyType = shape.types[key];
    save.settle = [this, row, key, keyType](bool saved, const QVariant &value) {
        unsent.erase(row);
        if (saved && value.isValid()) {
            rows[size_t(row)][key] = orbe::normalised(value, keyType);
            textIndex[key].reset();
        }
    };
    unsent.insert(row);
    state->waitingSaves.push_back(std::move(save));
}

QString OrbeRecordset::Impl::columnName(int col) const
{
    return state->session.link().escapeIdentifier(shape.sqlNames[col]);
}

void OrbeRecordset::Impl::queuedInsert(OrbeWaitingSave &save, int key)
{
    QStringList columns{columnName(key)};
    QStringList placeholders{QStringLiteral("?")};
    save.values << QVariant(shape.types[key]);
    for (int col = 0; col < shape.names.size(); ++col) {
        if (col != key && changed[col]) {
            columns << columnName(col);
            placeholders << QStringLiteral("?");
            save.values << bufferValues({col});
        }
    }
    QStringList taken;
    for (int col : std::as_const(matchColumns)) {
        taken << columnName(col) + QStringLiteral(" = ?");
        save.values << bufferValues({col});
    }
    save.write = QStringLiteral("WITH w AS (INSERT INTO %1 (%2) OVERRIDING SYSTEM VALUE SELECT %3")
                     .arg(table, columns.join(QStringLiteral(", ")), placeholders.join(QStringLiteral(", ")))
                 + (taken.isEmpty() ? QString()
                                    : QStringLiteral(" WHERE NOT EXISTS (SELECT 1 FROM %1 WHERE %2)")
                                          .arg(table, taken.join(QStringLiteral(" AND "))))
                 + CountedBack;
    rows.push_back(buffer);
    editedRow = int(rows.size()) - 1;
    if (filtered)
        visible.push_back(editedRow);
    for (auto &columnIndex : textIndex)
        columnIndex.reset();
}

void OrbeRecordset::Impl::queuedUpdate(OrbeWaitingSave &save, int key, const QList<QVariant> &before)
{
    QStringList assignments;
    QStringList conditions{columnName(key) + QStringLiteral(" = ?")};
    QVariantList found{before[key]};
    for (int col = 0; col < shape.names.size(); ++col) {
        if (changed[col]) {
            assignments << columnName(col) + QStringLiteral(" = ?");
            save.values << bufferValues({col});
        }
        if (col != key && (assigned[col] || matchColumns.contains(col))) {
            conditions << columnName(col) + QStringLiteral(" IS NOT DISTINCT FROM ?");
            found << before[col];
        }
    }
    const QString where = conditions.join(QStringLiteral(" AND "));
    save.write = assignments.isEmpty()
                     ? QStringLiteral("SELECT 1 / count(*) FROM %1 WHERE %2").arg(table, where)
                     : QStringLiteral("WITH w AS (UPDATE %1 SET %2 WHERE %3").arg(table, assignments.join(QStringLiteral(", ")), where)
                           + CountedBack;
    save.values << found;
    for (int col = 0; col < shape.names.size(); ++col) {
        if (changed[col]) {
            rows[editedRow][col] = buffer[col];
            textIndex[col].reset();
        }
    }
}
