#pragma once

#include <QString>

class RunHost;

// The log's line break.
inline const QString CRLF = QStringLiteral("\r\n");

// Empties the log and writes the import runs' three header lines: the title,
// the date and time, and the source workbook.
void startImportLog(RunHost &host);

// Writes the whole log to "<folder>ProtokollTarvel<date time>" through the
// component's text-file writer and shows the closing message with the name
// the writer used, or the exclamation message when it could not write.
void finishImportLog(RunHost &host);
