#pragma once

#include <QString>
#include <QVariant>

#include <memory>

class OrbeConnection;
class OrbeField;
class OrbeRecordset;
class RowBatch;
class SpeciesKey;

// The assessment record (ForstlichesGutachtenZurAbschussplanung) of one
// collection and first hunting year, as both import runs add or update it.
// The species is no part of the key. Nothing is stored before save(): a run
// that fails on the way leaves the record as it was.
class AssessmentRecord
{
public:
    // Opens the record statement for the collection row's key field and the
    // year, editable. In a batch (RowBatch::predicts()) the record is
    // predicted from the year's records read once instead, and save() queues
    // its save, unless it is to be saved the normal way: when the year holds
    // more than one record of the collection (which one is first is the
    // database's to tell), or a new record cannot be predicted.
    AssessmentRecord(OrbeConnection &connection, const OrbeField &collectionKey, qint32 firstYear,
                     RowBatch *batch = nullptr);
    ~AssessmentRecord();

    // The key of the collection row's key field; anything but a whole number
    // is refused (TypeMismatch).
    static QVariant collectionKey(const OrbeField &keyField);
    // All records of a collection, read only.
    static std::unique_ptr<OrbeRecordset> collectionRecords(OrbeConnection &connection, const QVariant &key);

    // True when a record of that collection and year exists (the first is used).
    bool exists() const;
    void beginUpdate();
    void beginInsert();
    // A new record's collection, species (roe deer, "Rehwild"), first and
    // last hunting year (a three-year period: the year plus 2).
    void setNewRecordKeys(SpeciesKey &roeDeer);
    // A code column, written on new and existing records.
    void setCode(const QString &column, qint32 code);
    void save();

private:
    // The record as the batch's snapshot predicts it; nullptr for the normal way.
    OrbeRecordset *predicted(RowBatch &batch);

    OrbeConnection &m_connection;
    QVariant m_collectionKey;
    qint32 m_firstYear;
    std::unique_ptr<OrbeRecordset> m_opened;
    OrbeRecordset *m_record = nullptr;
    RowBatch *m_batch = nullptr; // where the save is queued
};
