#include "runskeleton.h"

#include "failure.h"
#include "failuretrap.h"
#include "importlog.h"
#include "rowbatch.h"
#include "runhost.h"
#include "spreadsheet.h"
#include "workbookrows.h"

namespace {

// The rows, one after the other. An import whose connection sends saves
// together takes them a batch at a time (RowBatch): a cancel then stops the
// run after the row it came in, once the rows up to it are saved, and a row
// whose batch found its record other than read is done again.
void runRowLoop(RunHost &host, const RunSteps &steps, const Worksheet &sheet, int lastRow, ErrorLine &at,
                RunSummary &summary, const std::function<bool(const Failure &, int)> &cancelledAt)
{
    ImportWindowState &state = host.windowState();
    RowBatch *batch = steps.importLog && steps.importLog->batch().isOn() ? &steps.importLog->batch() : nullptr;
    if (batch)
        batch->attach(summary, at);
    at(steps.lines.loop); for (state.currentRow = FirstDataRow; state.currentRow <= lastRow; ++state.currentRow) {
        const int row = state.currentRow;
        try {
            if (batch)
                batch->beginRow(row);
            const bool leave = steps.row(sheet, row, at, batch ? batch->counts() : summary) == RowEnd::LeaveLoop;
            if (batch) {
                leave ? batch->dropRow() : batch->endRow();
                const bool cancel = !leave && host.cancelRequested();
                if (leave || cancel || row == lastRow || batch->full())
                    batch->flush();
                if (cancel)
                    noteCancel(host, summary, row);
                if (leave || cancel)
                    break;
            } else if (leave || stopAfterRow(host, summary, row)) {
                break;
            }
        } catch (const RowsAgain &again) {
            state.currentRow = again.row - 1;
            continue;
        } catch (const Failure &failure) {
            int again = 0;
            const Failure ending = batch ? batch->settle(failure, again) : failure;
            if (again > 0) {
                state.currentRow = again - 1;
                continue;
            }
            if (!cancelledAt(ending, state.currentRow))
                throw ending;
            break;
        }
    at(steps.lines.next); }
}

} // namespace

bool runRows(RunHost &host, const RunSteps &steps)
{
    ImportWindowState &state = host.windowState();
    state.currentRow = 0;
    const bool import = steps.importLog != nullptr;
    RunSummary summary;
    summary.import = import;
    const auto afterFailure = [&] {
        if (import)
            steps.importLog->writeAfterFailure();
        host.showSummary(summary);
    };
    return runTrapped(host.placeName(), import ? ImportProcedure : CheckProcedure, state.currentRow, [&](ErrorLine &at) {
        const SharedLines &line = steps.lines;
        at(line.start); auto spreadsheet = SpreadsheetApplication::Start();
        at(line.open); Workbook *book = &spreadsheet->Open(state.workbookPath, LastReadRow);
        at(line.sheet); Worksheet *sheet = &book->firstSheet();
        // A cancel that cut a wait for the database short ends the run as
        // "Abbrechen" does after the row before: that row is not saved. An
        // import's log then begins with its header all the same.
        const auto cancelledAt = [&](const Failure &failure, int row) {
            if (failure.number() != ErrorNumber::Cancelled)
                return false;
            if (import && !steps.importLog->isStarted())
                steps.importLog->start();
            noteCancel(host, summary, row - 1);
            return true;
        };
        const Failure cancelledBeforeRows(ErrorNumber::Cancelled, ErrorSource::Tarvel, QString());
        int lastRow = 0;
        try {
            // A cancel while the connection was made, or in the run's
            // beginning, ends the run before its first row.
            if (host.cancelRequested()) {
                if (!import)
                    host.clearLog();
                throw cancelledBeforeRows;
            }
            lastRow = steps.begin(*sheet, at);
            if (host.cancelRequested())
                throw cancelledBeforeRows;
        } catch (const Failure &failure) {
            if (!cancelledAt(failure, FirstDataRow))
                throw;
            lastRow = 0;
        }
        runRowLoop(host, steps, *sheet, lastRow, at, summary, cancelledAt);
        steps.end(*sheet, state.currentRow, summary);
        at(line.progressReset); host.setProgressValue(0);
        at(line.close); book->Close();
        at(line.quit); spreadsheet->Quit();
        at(line.release[0]); spreadsheet.reset();
        at(line.release[1]); book = nullptr;
        at(line.release[2]); sheet = nullptr;
        // A cancelled check leaves "Import Starten" as it was: its rows were not all seen.
        at(line.importButton); if (import || !summary.cancelledAfterRow) host.setImportEnabled(!import);
        if (import) {
            at(line.logFile); steps.importLog->finish(summary);
        } else {
            host.showSummary(summary);
        }
    }, afterFailure);
}
