#pragma once

#include <QString>

#include <array>
#include <functional>

class ErrorLine;
class ImportLog;
class RunHost;
class Worksheet;
struct RunSummary;

// What the four runs share: start the spreadsheet server, open the workbook
// and take its first sheet; then the run's own beginning; the rows, each
// followed by the log bound and the cancel; the closing steps; "Import
// Starten"; and the import's log file or the check's summary. A run gives its
// own steps and its error lines.

// The procedures that failures name, as the windows' click handlers were called.
inline const QString CheckProcedure = QStringLiteral("cmdImportTest_Click(");
inline const QString ImportProcedure = QStringLiteral("cmdImportStarten_Click");

// The error lines of the shared steps, as each run numbers its statements.
struct SharedLines
{
    int start;                  // start the spreadsheet server
    int open;                   // open the workbook
    int sheet;                  // take its first sheet
    int loop;                   // the row loop's start
    int next;                   // the row loop's advance
    int progressReset;          // the progress bar back to 0
    int close;                  // close the workbook unsaved
    int quit;                   // end the server
    std::array<int, 3> release; // release server, workbook, sheet
    int importButton;           // enable or disable "Import Starten"
    int logFile;                // imports: write the log file, the closing message
};

// What a row step tells the loop.
enum class RowEnd { Next, LeaveLoop };

struct RunSteps
{
    // An import's log: its start belongs to the run's beginning; the skeleton
    // finishes it, or writes it after a failure. Nothing for a check.
    ImportLog *importLog = nullptr;
    SharedLines lines;
    // After the sheet is taken: the run's lookups and log start. Returns the
    // last data row.
    std::function<int(const Worksheet &sheet, ErrorLine &at)> begin;
    // One data row.
    std::function<RowEnd(const Worksheet &sheet, int row, ErrorLine &at, RunSummary &summary)> row;
    // After the loop, with the row it stopped at: notes the rows left unread.
    std::function<void(const Worksheet &sheet, int stopRow, RunSummary &summary)> end;
};

// Runs the steps under the run's failure trap (CheckProcedure, or
// ImportProcedure for a run with an import log); false when it ended there.
// A failed run tells the host its counts so far before its error report.
bool runRows(RunHost &host, const RunSteps &steps);
