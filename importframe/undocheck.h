#pragma once

#include "undodata.h"

#include <QHash>
#include <QString>

#include <optional>

class OrbeConnection;

// Undo data checked against the database before anything is written: the
// record statement to take it back with, or why it must not be.
struct UndoCheck
{
    QString refusal;   // German; empty when it may be taken back
    QString statement; // reads one record by its key, bound as the one value
};

// Refuses undo data whose values are not what an import of its kind writes:
// a column the kind does not write (the other kind's code column), a value
// outside the database's code tables or of another type, a key the table
// does not have. logFilePath names the data in the refusal.
UndoCheck checkUndoData(OrbeConnection &connection, const UndoData &data, const QString &logFilePath);

// A record as the database holds it now: each column's value as
// undoValueText writes it, by the column's name in lower case; nothing
// when there is no such record.
using RecordValues = std::optional<QHash<QString, QString>>;

enum class UndoVerdict {
    TakeBack,     // it holds what the entry wrote
    AlreadyBack,  // it is as before the entry, or before an earlier entry of the record
    Unchanged,    // the import wrote nothing into it
    ChangedSince, // it holds something else
    Gone,         // an updated record deleted since
};

struct UndoJudgement
{
    UndoVerdict verdict;
    QString difference; // ChangedSince: the first column that differs, as the log names it
};

// The entry at index of entries, against its record as it is now. A record
// the import wrote more than once counts as taken back as far as an earlier
// entry's old values, or as its being added, reach.
UndoJudgement judgeUndo(const QList<UndoEntry> &entries, qsizetype index, const RecordValues &current);
// The record as it is once the entry is taken back.
RecordValues afterUndo(const UndoEntry &entry, RecordValues current);
