#pragma once

// The inside of a recordset, shared by the recordset's own source and by
// OrbeConnection::OpenRecordset, which fills it.

#include "orbeinternal.h"
#include "orberecordset.h"
#include "orbetransaction.h"


#include <optional>
#include <set>
#include <vector>

struct OrbeRecordset::Impl
{
    enum class Pending { None, Edit, AddNew };

    std::shared_ptr<OrbeConnectionState> state;
    OpenMode mode = OpenMode::Lookup;
    QString statement;
    QString table;             // the one table of an editable recordset
    QList<int> keyColumns;     // its primary key, as columns of the result

    OrbeStatementCache::Columns shape; // the result's columns
    std::vector<QList<QVariant>> rows;

    bool filtered = false;
    std::vector<int> visible;
    std::size_t position = 0;
    // Per column: text form -> rows, built on the first filter on that column.
    std::vector<std::optional<QHash<QString, std::vector<int>>>> textIndex;

    Pending pending = Pending::None;
    QList<QVariant> buffer;
    std::vector<bool> changed;
    int editedRow = -1;
    // Editable recordsets only; declared after state, so it ends first.
    std::optional<OrbeTransaction> transaction;

    // Snapshot recordsets: the columns that find a record, the columns set
    // in the pending edit, and the rows that saves not yet sent wrote.
    QList<int> matchColumns;
    std::vector<bool> assigned;
    std::set<int> unsent;

    ~Impl();

    std::size_t visibleCount() const { return filtered ? visible.size() : rows.size(); }
    int currentRow() const
    {
        if (position >= visibleCount())
            return -1;
        return filtered ? visible[position] : static_cast<int>(position);
    }

    void discardPending()
    {
        pending = Pending::None;
        buffer.clear();
        changed.clear();
        assigned.clear();
        editedRow = -1;
    }

    void requireEditable() const
    {
        if (mode != OpenMode::Editable && mode != OpenMode::Snapshot)
            throw Failure(ErrorNumber::NotUpdatable, ErrorSource::Database,
                          QStringLiteral("Die Datensatzgruppe ist schreibgeschützt (Öffnungsmodus 4)."));
    }

    void requireKey() const
    {
        if (keyColumns.isEmpty())
            throw Failure(ErrorNumber::NotUpdatable, ErrorSource::Database,
                          QStringLiteral("Die Tabelle %1 hat keinen Primärschlüssel; ihre Datensätze können "
                                         "nicht bearbeitet werden.").arg(orbe::quoted(table)));
    }

    void requireOpen() const
    {
        if (!state->session.isOpen())
            throw Failure(ErrorNumber::NotConnected, ErrorSource::Database,
                          QStringLiteral("Die Datenbankverbindung ist geschlossen."));
    }

    // An edit or new row after an Update belongs to a transaction again,
    // unless another recordset's transaction is open, which it joins.
    void ensureTransaction()
    {
        if (mode == OpenMode::Snapshot)
            return;
        if (!transaction)
            transaction.emplace(state->session);
        transaction->join(table);
    }

    int column(const QString &name) const
    {
        const auto found = shape.byName.constFind(name.toLower());
        if (found == shape.byName.cend())
            throw Failure(ErrorNumber::FieldNotFound, ErrorSource::Database,
                          QStringLiteral("Das Feld %1 ist in der Datensatzgruppe nicht vorhanden.")
                              .arg(orbe::quoted(name)));
        return found.value();
    }

    Failure noCurrentRecord() const
    {
        return Failure(ErrorNumber::NoCurrentRecord, ErrorSource::Database,
                       QStringLiteral("Kein aktueller Datensatz."));
    }

    const QVariant &value(int col) const
    {
        if (pending != Pending::None)
            return buffer[col];
        const int row = currentRow();
        if (row < 0)
            throw noCurrentRecord();
        return rows[row][col];
    }

    void setValue(int col, const QVariant &value)
    {
        requireEditable();
        if (pending == Pending::None) {
            if (currentRow() < 0)
                throw noCurrentRecord();
            throw Failure(ErrorNumber::UpdateWithoutEdit, ErrorSource::Database,
                          QStringLiteral("Das Feld %1 kann nur nach Edit oder AddNew geändert werden.")
                              .arg(orbe::quoted(shape.names[col])));
        }
        buffer[col] = orbe::convertForColumn(value, shape.types[col], state->session.system() != DatabaseSystem::SQLite,
                                              shape.names[col]);
        // An edited field set to the value it holds writes nothing: a row
        // imported again unchanged costs a read, not a write and its flush.
        changed[col] = pending == Pending::AddNew || !sameValue(buffer[col], rows[editedRow][col]);
        assigned[col] = true;
    }

    static bool sameValue(const QVariant &set, const QVariant &stored)
    {
        if (set.isNull() || stored.isNull())
            return set.isNull() && stored.isNull();
        return set == stored;
    }

    // A row read over the recordset's columns, as the recordset holds it.
    QList<QVariant> normalisedRow(QList<QVariant> row) const
    {
        for (qsizetype i = 0; i < row.size() && i < shape.types.size(); ++i)
            row[i] = orbe::normalised(row[i], shape.types[i]);
        return row;
    }

    void update();
    void insert();
    // Snapshot mode: queues the pending save with the connection, the rows
    // as it will leave them.
    void queueSave();
    void queuedInsert(OrbeWaitingSave &save, int key);
    void queuedUpdate(OrbeWaitingSave &save, int key, const QList<QVariant> &before);
    QString columnName(int col) const; // as a quoted identifier
    // The one row a statement of the recordset's table reads, with the given
    // key columns of the edited row bound; nothing when it finds none.
    std::optional<QList<QVariant>> rowRead(const QString &sql, const QList<int> &keys);
    // The given columns of the buffer, as values to bind.
    QVariantList bufferValues(const QList<int> &columns) const;
    void writeEdit();
    // "key = ?" for each key column, joined by AND.
    QString keyConditions() const;
    // Runs the write statement with the given columns of the buffer, then the
    // edited row's key bound; returns the rows it affected.
    int executeWrite(const QString &sql, const QString &failureText, const QList<int> &columns);
    // What a journal keeps of the save just written (orbejournal.h); before:
    // an edited row's values before the write.
    OrbeSavedRecord savedRecord(const QList<QVariant> &before) const;
    // Before the current row is edited or deleted: its index, in a transaction.
    int beginRowChange();
    // Takes a deleted row out of the rows held; the position then stands on the next.
    void removeRow(int row);
};
