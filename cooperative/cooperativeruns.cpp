#include "cooperativeruns.h"

#include "assessmentcodes.h"
#include "assessmentrecord.h"
#include "conversions.h"
#include "failuretrap.h"
#include "importlog.h"
#include "orberecordset.h"
#include "runhost.h"
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

bool runCooperativeCheck(RunHost &host)
{
    ImportWindowState &state = host.windowState();
    state.currentRow = 0;
    return runTrapped(host.placeName(), QStringLiteral("cmdImportTest_Click("), state.currentRow, [&](ErrorLine &at) {
        RunSummary summary;
        QString previousNumber;
        int lastRow = 0;
        at(30); auto excel = SpreadsheetApplication::Start();
        at(40); Workbook *book = &excel->Open(state.workbookPath, LastReadRow);
        at(50); Worksheet *sheet = &book->firstSheet();
        at(60); auto collections = state.connection->OpenRecordset(CollectionStatement, OpenMode::Lookup);
        at(70); host.clearLog(); host.appendLog(QStringLiteral("Erwarten Aufbau der Exceldatei: ") + CRLF);
        at(80); host.appendLog(QStringLiteral("Hgnr  Jahr  Lkr Lkrname Alf_kurz  Alf_lang  Hgname  Belast  Abschuss") + CRLF);
        at(90); host.appendLog(QStringLiteral("448 2021  475 Landkreis Hof bm  Bayreuth-Münchberg  Naila 3 4") + CRLF);
        at(100); host.appendLog(CRLF + QStringLiteral("Gefundene Aufbau:") + CRLF);
        at(110); host.appendLog(QStringLiteral("Quelle: ") + singleLine(state.workbookPath) + CRLF);
        at(120); for (int column = 1; column <= ColumnCount; ++column) {
            at(130); host.appendLog(singleLine(trimmedCell(*sheet, 1, column)) + u'\t');
        at(140); }
        at(150); host.appendLog(CRLF);
        at(160); for (int column = 1; column <= ColumnCount; ++column) {
            at(170); host.appendLog(singleLine(trimmedCell(*sheet, 2, column)) + u'\t');
        at(180); }
        at(190); host.appendLog(CRLF);
        at(200); previousNumber.clear();
        // The check covers the rows the import will examine, not fewer.
        at(210); lastRow = lastDataRow(*sheet, YearColumn); host.setProgressMaximum(float(lastRow));
        at(220); for (state.currentRow = FirstDataRow; state.currentRow <= lastRow; ++state.currentRow) {
            const int row = state.currentRow;
            at(230); if (trimmedCell(*sheet, row, YearColumn).isEmpty()) break;
            const QString number = trimmedCell(*sheet, row, NumberColumn);
            at(260); host.setProgressValue(float(row));
            at(270); collections->Filter(cooperativeFilter(number));
            at(280); if (!collections->Eof()) {
                ++summary.found;
                at(290); if (number != previousNumber) {
                    at(300); host.appendLog(CRLF + QStringLiteral("Zum importieren: ") + rowValues(*sheet, row) + CRLF);
                    at(310); QVariant key;
                    at(320); key = AssessmentRecord::collectionKey(collections->Fields().Item(CollectionKey));
                    at(330); auto records = AssessmentRecord::collectionRecords(*state.connection, key);
                    at(340); while (records->HasCurrent()) {
                        OrbeFields fields = records->Fields();
                        at(350); for (int field = 0; field < fields.Count(); ++field) {
                            at(360); host.appendLog(fields.Item(field).Name() + u'=' + valueText(fields.Item(field).Content())
                                                    + Separator);
                        at(370); }
                        at(380); records->MoveNext();
                    }
                    at(400); host.appendLog(CRLF);
                } else {
                    at(420); host.appendLog(BlockIndent + rowValues(*sheet, row) + CRLF);
                }
            } else {
                ++summary.notFound;
                at(450); if (number != previousNumber) {
                    at(460); host.appendLog(CRLF + QStringLiteral("Hegegemeinschaft (Laufende Nummer) nicht in der Datenbank: ")
                                            + notFoundValues(*sheet, row, number));
                }
            }
            at(490); collections->Filter(QString());
            at(500); previousNumber = number;
            if (stopAfterRow(host, summary, row)) break;
        at(510); }
        noteUnreadRows(summary, *sheet, state.currentRow, yearCell(state.currentRow), {NumberColumn, YearColumn});
        at(520); host.setProgressValue(0);
        at(530); book->Close();
        at(540); excel->Quit();
        at(550); excel.reset();
        at(560); book = nullptr;
        at(570); sheet = nullptr;
        at(580); if (!summary.cancelledAfterRow) host.setImportEnabled(true);
        host.showSummary(summary);
    });
}

bool runCooperativeImport(RunHost &host)
{
    ImportWindowState &state = host.windowState();
    state.currentRow = 0;
    return runTrapped(host.placeName(), QStringLiteral("cmdImportStarten_Click"), state.currentRow, [&](ErrorLine &at) {
        RunSummary summary;
        summary.import = true;
        SpeciesKey roeDeer(QStringLiteral("Rehwild"));
        at(20); auto excel = SpreadsheetApplication::Start();
        at(30); Workbook *book = &excel->Open(state.workbookPath, LastReadRow);
        at(40); Worksheet *sheet = &book->firstSheet();
        at(50); auto collections = state.connection->OpenRecordset(CollectionStatement, OpenMode::Lookup);
        at(60); startImportLog(host);
        at(70); state.lastRow = lastDataRow(*sheet, YearColumn);
        at(80); host.setProgressMaximum(float(state.lastRow));
        at(90); for (state.currentRow = FirstDataRow; state.currentRow <= state.lastRow; ++state.currentRow) {
            const int row = state.currentRow;
            at(100); const QString number = trimmedCell(*sheet, row, NumberColumn);
                     if (number.isEmpty()) break;
            at(110); host.setProgressValue(float(row));
            at(120); collections->Filter(cooperativeFilter(number));
            const QString yearText = trimmedCell(*sheet, row, YearColumn);
            at(130); if (collections->Eof()) {
                at(140); host.appendLog(CRLF + QStringLiteral("(Zeile %1) Hegegemeinschaft (Laufende Nummer) nicht in der "
                                                              "Datenbank: ").arg(row)
                                        + notFoundValues(*sheet, row, number));
                ++summary.notFound;
            } else {
                at(150); const qint32 firstYear = toInt32(yearText, yearCell(row));
                at(160); AssessmentRecord record(*state.connection, collections->Fields().Item(CollectionKey), firstYear);
                at(170); const bool exists = record.exists(); if (exists) {
                    at(180); record.beginUpdate();
                    at(190); host.appendLog(QStringLiteral("(Zeile %1)\t aktualisiert: ").arg(row));
                } else {
                    at(200); record.beginInsert();
                    at(210); host.appendLog(QStringLiteral("(Zeile %1) hinzugefügt: ").arg(row));
                    at(220); record.setNewRecordKeys(roeDeer);
                }
                at(230); record.setCode(QStringLiteral("IdVerbissbelastung"),
                                        browsingPressureCode(trimmedCell(*sheet, row, BrowsingPressureColumn)));
                at(240); record.setCode(QStringLiteral("IdForstlicheAbschussEmpfehlung"),
                                        cullRecommendationCode(trimmedCell(*sheet, row, CullColumn)));
                at(250); host.appendLog(rowValues(*sheet, row) + CRLF);
                at(260); record.save();
                ++summary.found; ++(exists ? summary.updated : summary.added);
            }
            at(270); collections->Filter(QString());
            if (stopAfterRow(host, summary, row)) break;
        at(280); }
        // The rows stop at an empty Hgnr, or at the empty Jahr that ended the data.
        noteUnreadRows(summary, *sheet, state.currentRow,
                       state.currentRow <= state.lastRow ? cellName(state.currentRow, NumberColumn, QStringLiteral("Hgnr"))
                                                         : yearCell(state.currentRow),
                       {NumberColumn, YearColumn});
        at(290); host.setProgressValue(0);
        at(300); book->Close();
        at(310); excel->Quit();
        at(320); excel.reset(); book = nullptr; sheet = nullptr;
        at(330); host.setImportEnabled(false);
        at(340); finishImportLog(host, summary);
    });
}
