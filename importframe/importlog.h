#pragma once

#include "orbetools.h"
#include "rowbatch.h"
#include "undorecorder.h"

#include <QString>

class ErrorLine;
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

// Ends the run through its failure trap, at row, once the log holds more
// than LogLimit.
void checkLogBound(RunHost &host, int row);
// Called by the runs after each row: checks the log's bound, and tells
// whether the user asked to stop there (noteCancel).
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
        , m_batch(host)
    {
    }

    // Empties the log, writes the three header lines (title, date and time,
    // source workbook) and makes the file "<folder>ProtokollTarvel<date
    // time>.txt", named by the time of the start, and the undo data beside
    // it. A folder that takes neither refuses the import (PathFileAccess),
    // before anything is written.
    // Where the connection sends saves together, the rows are saved in
    // batches (RowBatch).
    void start();
    bool isStarted() const { return m_file.isCreated(); }
    // A piece of a row's log, appended once the row is saved (at: where).
    void append(const ErrorLine &at, const QString &piece) { m_batch.append(at, piece); }
    RowBatch &batch() { return m_batch; }
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
    RowBatch m_batch; // tells m_undo, so ends before it
};
