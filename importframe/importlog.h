#pragma once

#include "orbetools.h"
#include "undorecorder.h"

#include <QString>

class RunHost;
struct RunSummary;

// The log's line break.
inline const QString CRLF = QStringLiteral("\r\n");

// The most text a run's log may hold, in characters (64 MB as the program
// holds it). Real workbooks log about 400 characters a row.
constexpr qsizetype LogLimit = 32 * 1024 * 1024;

// Notes in the summary that the run was cancelled after row; a cancelled
// import appends "Import abgebrochen nach Zeile N" to the log.
void noteCancel(RunHost &host, RunSummary &summary, int row);

// Called by the runs after each row: ends the run through its failure trap
// once the log holds more than LogLimit, and tells whether the user asked to
// stop there (noteCancel).
bool stopAfterRow(RunHost &host, RunSummary &summary, int row);

// What an import keeps of its log beyond the text box: the header it begins
// with, the log file, its undo data, and the closing message. The file and
// the undo data are made before the first record is written, so that an
// import never saves rows it cannot account for or take back; the file gets
// the log at the end, or the log so far when the run fails.
class ImportLog
{
public:
    ImportLog(RunHost &host, WorkbookKind kind)
        : m_host(host)
        , m_kind(kind)
    {
    }

    // Empties the log, writes the three header lines (title, date and time,
    // source workbook) and makes the file "<folder>ProtokollTarvel<date
    // time>.txt", named by the time of the start, and the undo data beside
    // it. A folder that takes neither refuses the import (PathFileAccess),
    // before anything is written.
    void start();
    bool isStarted() const { return m_file.isCreated(); }
    // After a failure of the run: the log so far into the file, if the run
    // made it, and the host told where it went. Never throws: it runs on the
    // way to the error report.
    void writeAfterFailure() noexcept;
    // The whole log into the file, the run's counts, and the closing message
    // with the file's name, or the exclamation message naming the file and why
    // it could not be written.
    void finish(const RunSummary &summary);

private:
    RunHost &m_host;
    const WorkbookKind m_kind;
    OrbeTextFile m_file;
    QString m_path;
    UndoRecorder m_undo;
};
