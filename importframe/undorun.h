#pragma once

#include "undodata.h"

#include <QString>

class RunHost;

// Taking an import back ("Import zurücknehmen"), on the host's connection,
// record by record, newest first.

// The procedure its failures name.
inline const QString UndoProcedure = QStringLiteral("cmdImportZuruecknehmen_Click");

// What it found, or did.
struct UndoOutcome
{
    int takenBack = 0;   // taken back, or to be
    int alreadyBack = 0; // as before the import already
    int left = 0;        // changed or deleted since, or refused by the database
    QString refusal;     // the data does not fit the database: nothing was written
    bool completed = false; // not cancelled, not ended by a failure or a refusal
};

// Shows in the host's log, one line a record, what taking back the import of
// the log file at logFilePath would do; writes nothing. Data that does not
// fit the database is refused in a message.
UndoOutcome previewUndo(RunHost &host, const UndoData &data, const QString &logFilePath);

// Takes the import back: each record in its own transaction with the
// import's lock; an added record is deleted, an updated one gets its old
// values back, when it still holds what the import wrote. Its log (a header
// naming the import's log file, a line a record, the counts) goes into the
// host's log and into a log file of its own, "RücknahmeTarvel<date time>.txt"
// beside the import's, which the closing message names. A refused delete or
// update leaves its record and names it; a cancel stops before the next.
UndoOutcome takeBack(RunHost &host, const UndoData &data, const QString &logFilePath);
