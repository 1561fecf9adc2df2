#pragma once

#include <QString>

class RunHost;
struct RunSummary;

// The log's line break.
inline const QString CRLF = QStringLiteral("\r\n");

// The most text a run's log may hold, in characters (64 MB as the program
// holds it). Real workbooks log about 400 characters a row.
constexpr qsizetype LogLimit = 32 * 1024 * 1024;

// Empties the log and writes the import runs' three header lines: the title,
// the date and time, and the source workbook.
void startImportLog(RunHost &host);

// Called by the runs after each row: ends the run through its failure trap
// once the log holds more than LogLimit, and tells whether the user asked to
// stop there. A cancelled import appends "Import abgebrochen nach Zeile N" to
// the log; the summary notes the row either way.
bool stopAfterRow(RunHost &host, RunSummary &summary, int row);

// Writes the whole log to "<folder>ProtokollTarvel<date time>" through the
// component's text-file writer and shows the closing message with the name
// the writer used and the run's counts, or the exclamation message when it
// could not write.
void finishImportLog(RunHost &host, const RunSummary &summary);
