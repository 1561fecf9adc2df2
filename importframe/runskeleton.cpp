#include "runskeleton.h"

#include "failuretrap.h"
#include "importlog.h"
#include "runhost.h"
#include "spreadsheet.h"
#include "workbookrows.h"

bool runRows(RunHost &host, const RunSteps &steps)
{
    ImportWindowState &state = host.windowState();
    state.currentRow = 0;
    return runTrapped(host.placeName(), steps.procedure, state.currentRow, [&](ErrorLine &at) {
        const SharedLines &line = steps.lines;
        RunSummary summary;
        summary.import = steps.import;
        at(line.start); auto excel = SpreadsheetApplication::Start();
        at(line.open); Workbook *book = &excel->Open(state.workbookPath, LastReadRow);
        at(line.sheet); Worksheet *sheet = &book->firstSheet();
        const int lastRow = steps.begin(*sheet, at);
        at(line.loop); for (state.currentRow = FirstDataRow; state.currentRow <= lastRow; ++state.currentRow) {
            if (steps.row(*sheet, state.currentRow, at, summary) == RowEnd::LeaveLoop)
                break;
            if (stopAfterRow(host, summary, state.currentRow))
                break;
        at(line.next); }
        steps.end(*sheet, state.currentRow, summary);
        at(line.progressReset); host.setProgressValue(0);
        at(line.close); book->Close();
        at(line.quit); excel->Quit();
        at(line.release[0]); excel.reset();
        at(line.release[1]); book = nullptr;
        at(line.release[2]); sheet = nullptr;
        // A cancelled check leaves "Import Starten" as it was: its rows were not all seen.
        at(line.importButton); if (steps.import || !summary.cancelledAfterRow) host.setImportEnabled(!steps.import);
        if (steps.import) {
            at(line.logFile); finishImportLog(host, summary);
        } else {
            host.showSummary(summary);
        }
    });
}
