#include "orberecordset.h"

#include "orberecordsetimpl.h"


QVariantList OrbeRecordset::Impl::bufferValues(const QList<int> &columns) const
{
    QVariantList values;
    for (int col : columns)
        values << (buffer[col].isNull() ? QVariant(shape.types[col]) : buffer[col]);
    return values;
}

std::optional<QList<QVariant>> OrbeRecordset::Impl::rowRead(const QString &sql, const QList<int> &keys)
{
    QVariantList values;
    for (int key : keys)
        values << rows[editedRow][key];
    OrbeRows read;
    QSqlError error;
    if (!state->session.run(sql, values, true, &read, error))
        throw state->session.refused(QStringLiteral("Der Datensatz konnte nicht gelesen werden"), error, sql);
    if (read.rows.empty())
        return std::nullopt;
    return normalisedRow(std::move(read.rows.front()));
}

void OrbeRecordset::Impl::update()
{
    requireEditable();
    if (pending == Pending::None)
        throw Failure(ErrorNumber::UpdateWithoutEdit, ErrorSource::Database,
                      QStringLiteral("Update ohne vorheriges Edit oder AddNew."));
    requireOpen();
    if (mode == OpenMode::Snapshot) {
        queueSave();
        discardPending();
        return;
    }
    // A journal is told of the save between its write and its commit.
    OrbeSaveJournal *journal = state->journal;
    const QList<QVariant> before = journal && pending == Pending::Edit ? rows[editedRow] : QList<QVariant>();
    if (pending == Pending::Edit)
        writeEdit();
    else
        insert();
    if (journal)
        journal->written(savedRecord(before));
    transaction->commit();
    if (journal)
        journal->committed();
    discardPending();
}

void OrbeRecordset::Impl::writeEdit()
{
    QList<int> columns;
    for (int i = 0; i < shape.names.size(); ++i) {
        if (changed[i])
            columns << i;
    }
    if (columns.isEmpty())
        return;

    OrbeLink &link = state->session.link();
    QStringList assignments;
    for (int col : std::as_const(columns))
        assignments << link.escapeIdentifier(shape.sqlNames[col]) + QStringLiteral(" = ?");
    const QString conditions = keyConditions();
    const QString sql = QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(table, assignments.join(QStringLiteral(", ")), conditions);
    const int affected = executeWrite(sql, orbe::notSaved(false), columns);
    // Some systems count the rows an update changed, not those it found.
    if (affected == 0
        && (state->session.dialect().updateCountsFoundRows()
            || !rowRead(QStringLiteral("SELECT * FROM %1 WHERE %2").arg(table, conditions), keyColumns)))
        throw orbe::failure(ErrorNumber::DatabaseError,
                            QStringLiteral("Der bearbeitete Datensatz ist in der Datenbank nicht mehr vorhanden"),
                            {}, statement);

    for (int col : std::as_const(columns)) {
        rows[editedRow][col] = buffer[col];
        textIndex[col].reset();
    }
}

void OrbeRecordset::Impl::insert()
{
    OrbeSession &session = state->session;
    QList<int> columns;
    for (int i = 0; i < shape.names.size(); ++i) {
        if (changed[i])
            columns << i;
    }
    QString sql;
    if (columns.isEmpty()) {
        sql = session.dialect().insertOfDefaults(table);
    } else {
        QStringList fieldList;
        QStringList placeholders;
        for (int col : std::as_const(columns)) {
            fieldList << session.link().escapeIdentifier(shape.sqlNames[col]);
            placeholders << QStringLiteral("?");
        }
        sql = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                  .arg(table, fieldList.join(QStringLiteral(", ")), placeholders.join(QStringLiteral(", ")));
    }
    // The generated key and the column defaults come back with the insert, so
    // that the new row reads as the database stored it. The SQLite ODBC
    // driver gives no rows back from an insert: there the row is read anew.
    const bool returning = session.link().returnsInsertedRows();
    if (returning)
        sql += QStringLiteral(" RETURNING *");

    OrbeRows inserted;
    QSqlError error;
    if (!session.run(sql, bufferValues(columns), true, &inserted, error))
        throw session.refused(orbe::notSaved(true), error, sql);

    // RETURNING * and the recordset's "select *" give the one table's columns
    // in the same order, and the transaction's lock keeps the table's shape.
    QList<QVariant> row = buffer;
    if (returning && !inserted.rows.empty())
        row = normalisedRow(std::move(inserted.rows.front()));
    if (!returning)
        row = rowRead(QStringLiteral("SELECT * FROM %1 WHERE rowid = last_insert_rowid()").arg(table), {}).value_or(buffer);

    // SQLite stores NULL in a key that is no row-id alias (BIGINT PRIMARY KEY):
    // such a record could never be found again by its key.
    for (int col : std::as_const(keyColumns)) {
        if (row[col].isNull())
            throw orbe::failure(ErrorNumber::DatabaseError,
                                QStringLiteral("Der neue Datensatz bekam von der Datenbank keinen Schlüssel "
                                               "(Spalte %1); er wird nicht gespeichert").arg(orbe::quoted(shape.names[col])),
                                {}, sql);
    }
    rows.push_back(row);
    const int index = static_cast<int>(rows.size()) - 1;
    for (auto &columnIndex : textIndex)
        columnIndex.reset();
    if (filtered)
        visible.push_back(index);
}

OrbeRecordset::OrbeRecordset(std::unique_ptr<Impl> impl)
    : d(std::move(impl))
{
}

OrbeRecordset::~OrbeRecordset() = default;

// The same question as HasCurrent, under the name the imports ask it by.
bool OrbeRecordset::HasRecords() const
{
    return HasCurrent();
}

bool OrbeRecordset::HasCurrent() const
{
    return d->currentRow() >= 0;
}

bool OrbeRecordset::Eof() const
{
    return d->currentRow() < 0;
}

void OrbeRecordset::MoveNext()
{
    d->discardPending();
    if (d->currentRow() < 0)
        throw d->noCurrentRecord();
    ++d->position;
}

void OrbeRecordset::Filter(const QString &criterion)
{
    d->discardPending();
    if (criterion.isEmpty()) {
        d->filtered = false;
        d->visible.clear();
        d->position = 0;
        return;
    }
    QString column;
    QString text;
    if (!orbe::parseEqualsCriterion(criterion, column, text))
        throw Failure(ErrorNumber::InvalidFilter, ErrorSource::Database,
                      QStringLiteral("Ungültiger Filter %1: erwartet wird „Feld = 'Text'“.")
                          .arg(orbe::quoted(orbe::shortened(criterion))));
    const int col = d->column(column);

    auto &index = d->textIndex[col];
    if (!index) {
        index.emplace();
        // As in SQL, NULL equals no text, not even the empty one: a row
        // without a number must not find a collection without one.
        for (int row = 0; row < static_cast<int>(d->rows.size()); ++row) {
            if (!d->rows[row][col].isNull())
                (*index)[valueText(d->rows[row][col])].push_back(row);
        }
    }
    const auto found = index->constFind(text);
    d->visible = found == index->cend() ? std::vector<int>() : found.value();
    d->filtered = true;
    d->position = 0;
}

OrbeFields OrbeRecordset::Fields()
{
    return OrbeFields(this);
}

void OrbeRecordset::Edit()
{
    const int row = d->beginRowChange();
    d->pending = Impl::Pending::Edit;
    d->buffer = d->rows[row];
    d->changed.assign(d->shape.names.size(), false);
    d->assigned.assign(d->shape.names.size(), false);
    d->editedRow = row;
}

void OrbeRecordset::AddNew()
{
    d->requireEditable();
    d->discardPending();
    d->requireOpen();
    d->ensureTransaction();
    d->pending = Impl::Pending::AddNew;
    d->buffer = QList<QVariant>(d->shape.names.size());
    d->changed.assign(d->shape.names.size(), false);
    d->assigned.assign(d->shape.names.size(), false);
}

void OrbeRecordset::Update()
{
    d->update();
}

int OrbeRecordset::rowCount() const
{
    return static_cast<int>(d->visibleCount());
}

OrbeFields::OrbeFields(OrbeRecordset *recordset)
    : m_recordset(recordset)
{
}

OrbeField OrbeFields::Item(const QString &name) const
{
    return OrbeField(m_recordset, m_recordset->d->column(name));
}

OrbeField OrbeFields::Item(int index) const
{
    if (index < 0 || index >= Count())
        throw Failure(ErrorNumber::FieldNotFound, ErrorSource::Database,
                      QStringLiteral("Die Datensatzgruppe hat kein Feld Nummer %1.").arg(index));
    return OrbeField(m_recordset, index);
}

int OrbeFields::Count() const
{
    return m_recordset->d->shape.names.size();
}

OrbeField::OrbeField(OrbeRecordset *recordset, int column)
    : m_recordset(recordset)
    , m_column(column)
{
}

QString OrbeField::Name() const
{
    return m_recordset->d->shape.names[m_column];
}

QVariant OrbeField::Value() const
{
    return m_recordset->d->value(m_column);
}

void OrbeField::setValue(const QVariant &value)
{
    m_recordset->d->setValue(m_column, value);
}

void OrbeField::setValue(const OrbeField &other)
{
    setValue(other.Value());
}

QString OrbeField::text() const
{
    return valueText(Value());
}
