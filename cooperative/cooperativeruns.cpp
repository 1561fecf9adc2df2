#include "cooperativeruns.h"

#include "assessmentcodes.h"
#include "assessmentrecord.h"
#include "conversions.h"
#include "failuretrap.h"
#include "importlog.h"
#include "orberecordset.h"
#include "runhost.h"
#include "runskeleton.h"
#include "specieslookup.h"
#include "spreadsheet.h"
#include "workbookrows.h"

namespace {

// Cooperative workbook columns: Hgnr  Jahr  Lkr Lkrname Alf_kurz  Alf_lang  Hgname  Belast  Abschuss
constexpr int NumberColumn = 1;
constexpr int YearColumn = 2;
constexpr int CooperativeNameColumn = 7;
constexpr int BrowsingPressureColumn = 8;
constexpr int CullColumn = 9;
constexpr int ColumnCount = 9;

const QString Separator = QStringLiteral(", ");
// As wide as "Zum importieren: ", so further rows stand under the block's first.
const QString BlockIndent = QString(17, u' ');

const QString CollectionStatement = QStringLiteral("select * from JagdbezirksSammlung");
const QString CollectionKey = QStringLiteral("Jagdbezirkssammlung_ID_PK");

// Column 1 as the cell holds it, then columns 2 to 9 trimmed. Cell texts reach
// the log through singleLine(): a line break inside a cell must not look like a
// line of the run's own.
QString rowValues(const Worksheet &sheet, int row)
{
    QString values = singleLine(sheet.cellValue(row, NumberColumn));
    for (int column = 2; column <= ColumnCount; ++column)
        values += Separator + singleLine(trimmedCell(sheet, row, column));
    return values;
}

// The line of a row whose number no collection has.
QString notFoundValues(const Worksheet &sheet, int row, const QString &number)
{
    return singleLine(number) + Separator + singleLine(trimmedCell(sheet, row, CooperativeNameColumn)) + Separator
           + singleLine(trimmedCell(sheet, row, YearColumn)) + CRLF;
}

// A row's year cell, as failures and the end of the data name it.
QString yearCell(int row)
{
    return cellName(row, YearColumn, QStringLiteral("Jahr"));
}

} // namespace

QString cooperativeFilter(const QString &cooperativeNumber)
{
    return QStringLiteral("JagdbezirksSammlung_Lfdnr = '") + QString(cooperativeNumber).replace(u'\'', QLatin1String("''"))
           + u'\'';
}

namespace {

// Error lines of "Test" (cmdImportTest_Click().
namespace CheckLine {
constexpr SharedLines Shared{.start = 30, .open = 40, .sheet = 50, .loop = 220, .next = 510, .progressReset = 520,
                             .close = 530, .quit = 540, .release = {550, 560, 570}, .importButton = 580, .logFile = 0};
constexpr int Collections = 60, ExpectedTitle = 70, ExpectedHeadings = 80, ExpectedExample = 90, FoundTitle = 100,
              Source = 110, HeadingsLoop = 120, Heading = 130, HeadingsNext = 140, HeadingsEnd = 150,
              FirstRowLoop = 160, FirstRowCell = 170, FirstRowNext = 180, FirstRowEnd = 190, PreviousCleared = 200,
              LastRow = 210, Year = 230, Progress = 260, Lookup = 270, Found = 280, NewBlock = 290, BlockLine = 300,
              Key = 310, KeyValue = 320, Records = 330, HasRecord = 340, FieldsLoop = 350, Field = 360,
              FieldsNext = 370, MoveNext = 380, RecordsEnd = 400, IndentedLine = 420, NewMissing = 450,
              MissingLine = 460, LookupEnd = 490, Previous = 500;
} // namespace CheckLine

// Error lines of "Import Starten" (cmdImportStarten_Click).
namespace ImportLine {
constexpr SharedLines Shared{.start = 20, .open = 30, .sheet = 40, .loop = 90, .next = 280, .progressReset = 290,
                             .close = 300, .quit = 310, .release = {320, 320, 320}, .importButton = 330, .logFile = 340};
constexpr int Collections = 50, LogStart = 60, LastRow = 70, ProgressMaximum = 80, Number = 100, Progress = 110,
              Lookup = 120, Missing = 130, MissingLine = 140, FirstYear = 150, Record = 160, Exists = 170,
              BeginUpdate = 180, UpdateLead = 190, BeginInsert = 200, InsertLead = 210, NewKeys = 220,
              BrowsingPressure = 230, Cull = 240, RecordValues = 250, Save = 260, LookupEnd = 270;
} // namespace ImportLine

// The row's nine cells, trimmed, one append a cell followed by a tab, then the line's end.
void appendLayoutRow(RunHost &host, const Worksheet &sheet, int row, ErrorLine &at, int loopLine, int cellLine,
                     int nextLine, int endLine)
{
    at(loopLine); for (int column = 1; column <= ColumnCount; ++column) {
        at(cellLine); host.appendLog(singleLine(trimmedCell(sheet, row, column)) + u'\t');
    at(nextLine); }
    at(endLine); host.appendLog(CRLF);
}

} // namespace

bool runCooperativeCheck(RunHost &host)
{
    ImportWindowState &state = host.windowState();
    QString previousNumber;
    std::unique_ptr<OrbeRecordset> collections;
    const auto begin = [&](const Worksheet &sheet, ErrorLine &at) {
        using namespace CheckLine;
        at(Collections); collections = state.connection->OpenRecordset(CollectionStatement, OpenMode::Lookup);
        at(ExpectedTitle); host.clearLog(); host.appendLog(QStringLiteral("Erwarten Aufbau der Exceldatei: ") + CRLF);
        at(ExpectedHeadings); host.appendLog(QStringLiteral("Hgnr  Jahr  Lkr Lkrname Alf_kurz  Alf_lang  Hgname  Belast  Abschuss") + CRLF);
        at(ExpectedExample); host.appendLog(QStringLiteral("448 2021  475 Landkreis Hof bm  Bayreuth-Münchberg  Naila 3 4") + CRLF);
        at(FoundTitle); host.appendLog(CRLF + QStringLiteral("Gefundene Aufbau:") + CRLF);
        at(Source); host.appendLog(QStringLiteral("Quelle: ") + singleLine(state.workbookPath) + CRLF);
        appendLayoutRow(host, sheet, 1, at, HeadingsLoop, Heading, HeadingsNext, HeadingsEnd);
        appendLayoutRow(host, sheet, 2, at, FirstRowLoop, FirstRowCell, FirstRowNext, FirstRowEnd);
        at(PreviousCleared); previousNumber.clear();
        // The check covers the rows the import will examine, not fewer.
        at(LastRow); const int lastRow = lastDataRow(sheet, YearColumn); host.setProgressMaximum(float(lastRow));
        return lastRow;
    };
    const auto row = [&](const Worksheet &sheet, int row, ErrorLine &at, RunSummary &summary) {
        using namespace CheckLine;
        at(Year); if (trimmedCell(sheet, row, YearColumn).isEmpty()) return RowEnd::LeaveLoop;
        const QString number = trimmedCell(sheet, row, NumberColumn);
        at(Progress); host.setProgressValue(float(row));
        at(Lookup); collections->Filter(cooperativeFilter(number));
        at(Found); if (!collections->Eof()) {
            ++summary.found;
            at(NewBlock); if (number != previousNumber) {
                at(BlockLine); host.appendLog(CRLF + QStringLiteral("Zum importieren: ") + rowValues(sheet, row) + CRLF);
                at(Key); QVariant key;
                at(KeyValue); key = AssessmentRecord::collectionKey(collections->Fields().Item(CollectionKey));
                at(Records); auto records = AssessmentRecord::collectionRecords(*state.connection, key);
                at(HasRecord); while (records->HasCurrent()) {
                    OrbeFields fields = records->Fields();
                    at(FieldsLoop); for (int field = 0; field < fields.Count(); ++field) {
                        at(Field); host.appendLog(fields.Item(field).Name() + u'=' + valueText(fields.Item(field).Content())
                                                  + Separator);
                    at(FieldsNext); }
                    at(MoveNext); records->MoveNext();
                }
                at(RecordsEnd); host.appendLog(CRLF);
            } else {
                at(IndentedLine); host.appendLog(BlockIndent + rowValues(sheet, row) + CRLF);
            }
        } else {
            ++summary.notFound;
            at(NewMissing); if (number != previousNumber) {
                at(MissingLine); host.appendLog(CRLF + QStringLiteral("Hegegemeinschaft (Laufende Nummer) nicht in der Datenbank: ")
                                                + notFoundValues(sheet, row, number));
            }
        }
        at(LookupEnd); collections->Filter(QString());
        at(Previous); previousNumber = number;
        return RowEnd::Next;
    };
    const auto end = [](const Worksheet &sheet, int stopRow, RunSummary &summary) {
        noteUnreadRows(summary, sheet, stopRow, yearCell(stopRow), {NumberColumn, YearColumn});
    };
    return runRows(host, {.lines = CheckLine::Shared, .begin = begin, .row = row, .end = end});
}

bool runCooperativeImport(RunHost &host)
{
    ImportWindowState &state = host.windowState();
    std::unique_ptr<OrbeRecordset> collections;
    ImportLog log(host, WorkbookKind::Cooperative);
    SpeciesKey roeDeer(QStringLiteral("Rehwild"));
    const auto begin = [&](const Worksheet &sheet, ErrorLine &at) {
        using namespace ImportLine;
        at(Collections); collections = state.connection->OpenRecordset(CollectionStatement, OpenMode::Lookup);
        at(LogStart); log.start();
        at(LastRow); state.lastRow = lastDataRow(sheet, YearColumn);
        at(ProgressMaximum); host.setProgressMaximum(float(state.lastRow));
        return state.lastRow;
    };
    const auto row = [&](const Worksheet &sheet, int row, ErrorLine &at, RunSummary &summary) {
        using namespace ImportLine;
        at(Number); const QString number = trimmedCell(sheet, row, NumberColumn);
                    if (number.isEmpty()) return RowEnd::LeaveLoop;
        at(Progress); host.setProgressValue(float(row));
        at(Lookup); collections->Filter(cooperativeFilter(number));
        const QString yearText = trimmedCell(sheet, row, YearColumn);
        at(Missing); if (collections->Eof()) {
            at(MissingLine); log.append(at, CRLF + QStringLiteral("(Zeile %1) Hegegemeinschaft (Laufende Nummer) nicht in der "
                                                                  "Datenbank: ").arg(row)
                                            + notFoundValues(sheet, row, number));
            ++summary.notFound;
        } else {
            at(FirstYear); const qint32 firstYear = toInt32(yearText, yearCell(row));
            at(Record); AssessmentRecord record(*state.connection, collections->Fields().Item(CollectionKey), firstYear,
                                                &log.batch());
            // The record's line is logged once the record is saved: a log
            // never shows a row as saved that is not.
            QString recordLine;
            at(Exists); const bool exists = record.exists(); if (exists) {
                at(BeginUpdate); record.beginUpdate();
                at(UpdateLead); recordLine = QStringLiteral("(Zeile %1)\t aktualisiert: ").arg(row);
            } else {
                at(BeginInsert); record.beginInsert();
                at(InsertLead); recordLine = QStringLiteral("(Zeile %1) hinzugefügt: ").arg(row);
                at(NewKeys); record.setNewRecordKeys(roeDeer);
            }
            at(BrowsingPressure); record.setCode(QStringLiteral("IdVerbissbelastung"),
                                                 browsingPressureCode(trimmedCell(sheet, row, BrowsingPressureColumn)));
            at(Cull); record.setCode(QStringLiteral("IdForstlicheAbschussEmpfehlung"),
                                     cullRecommendationCode(trimmedCell(sheet, row, CullColumn)));
            at(RecordValues); recordLine += rowValues(sheet, row) + CRLF;
            at(Save); record.save(); log.append(at, recordLine);
            ++summary.found; ++(exists ? summary.updated : summary.added);
        }
        at(LookupEnd); collections->Filter(QString());
        return RowEnd::Next;
    };
    const auto end = [&](const Worksheet &sheet, int stopRow, RunSummary &summary) {
        // The rows stop at an empty Hgnr, or at the empty Jahr that ended the data.
        noteUnreadRows(summary, sheet, stopRow,
                       stopRow <= state.lastRow ? cellName(stopRow, NumberColumn, QStringLiteral("Hgnr")) : yearCell(stopRow),
                       {NumberColumn, YearColumn});
    };
    return runRows(host, {.importLog = &log, .lines = ImportLine::Shared, .begin = begin, .row = row, .end = end});
}
