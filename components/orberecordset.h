#pragma once

#include "orbeconnection.h"

#include <QSqlRecord>
#include <QString>
#include <QVariant>

#include <memory>
#include <vector>

class OrbeRecordset;

// The text form of a field or cell value: whole numbers without decimals, NULL as
// the empty text, booleans as "Wahr"/"Falsch", dates as dd.MM.yyyy.
QString valueText(const QVariant &value);

// One field of a recordset's current row (or of the row being edited or added).
// A handle: reading or writing without a current row throws NoCurrentRecord.
class OrbeField
{
public:
    OrbeField(OrbeRecordset *recordset, int column);

    QString Name() const;
    QVariant Value() const;
    void setValue(const QVariant &value);
    // Stores the other field's value.
    void setValue(const OrbeField &other);
    QVariant Content() const { return Value(); }
    void setContent(const QVariant &value) { setValue(value); }
    // valueText(Value())
    QString text() const;

private:
    OrbeRecordset *m_recordset;
    int m_column;
};

// The fields of a recordset, in column order.
class OrbeFields
{
public:
    explicit OrbeFields(OrbeRecordset *recordset);

    // By column name, case-insensitively. Throws FieldNotFound.
    OrbeField Item(const QString &name) const;
    OrbeField Item(int index) const;
    int Count() const;

private:
    OrbeRecordset *m_recordset;
};

// The result of a statement, held on the client.
//
// An editable recordset (mode 5) is a transaction: opening it begins one and
// locks its table against other writers before the read (other programs wait),
// so that what it read still holds when Update writes. Update commits;
// destroying the recordset without Update rolls back. An Edit or AddNew after
// an Update begins the next transaction. Statements run on the connection
// meanwhile (lookups) belong to the transaction; an editable recordset opened
// while another one's transaction is open joins that transaction. Hold an
// editable recordset only as long as one record's work takes.
class OrbeRecordset
{
public:
    ~OrbeRecordset();
    OrbeRecordset(const OrbeRecordset &) = delete;
    OrbeRecordset &operator=(const OrbeRecordset &) = delete;

    bool HasRecords() const;
    bool HasCurrent() const;
    bool Eof() const; // "EOF" is a macro in C
    void MoveNext();

    // "Column = 'text'" (a quote inside doubled) keeps the rows whose field has
    // exactly that text form; NULL matches nothing. The empty text clears.
    // Anything else throws InvalidFilter.
    void Filter(const QString &criterion);

    OrbeFields Fields();

    // Mode 5 only (NotUpdatable otherwise). An edit or new row that is never
    // Update()d is discarded.
    void Edit();
    void AddNew();
    void Update();
    // Deletes the current row in the database and commits; the recordset then
    // stands on the next row.
    void Delete();

    int rowCount() const; // rows that pass the filter

    // Snapshot mode: the columns by which the caller finds a record. A
    // queued insert writes only while no record has its values there, a
    // queued update only while its record still holds what was read there
    // and in every column set (besides its key).
    void MatchColumns(const QStringList &columns);
    // Snapshot mode: a save not yet sent wrote one of the rows the filter shows.
    bool HasUnsentSave() const;

private:
    friend class OrbeConnection;
    friend class OrbeField;
    friend class OrbeFields;
    struct Impl;
    explicit OrbeRecordset(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};
