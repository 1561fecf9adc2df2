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
    TakeBack,     // it holds what the import wrote
    AlreadyBack,  // it is as before the import: an added record gone, an update's old values
    Unchanged,    // the import wrote nothing into it
    ChangedSince, // it holds something else
    Gone,         // an updated record deleted since
};

struct UndoJudgement
{
    UndoVerdict verdict;
    QString difference; // ChangedSince: the first column that differs, as the log names it
};

UndoJudgement judgeUndo(const UndoEntry &entry, const RecordValues &current);
// The record as it is once the entry is taken back.
RecordValues afterUndo(const UndoEntry &entry, RecordValues current);
