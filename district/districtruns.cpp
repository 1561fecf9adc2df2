#include "districtruns.h"

#include "assessmentcodes.h"
#include "assessmentrecord.h"
#include "conversions.h"
#include "failure.h"
#include "failuretrap.h"
#include "importlog.h"
#include "orberecordset.h"
#include "runhost.h"
#include "specieslookup.h"
#include "spreadsheet.h"
#include "workbookrows.h"

namespace {

// District workbook columns.
constexpr int RowValueColumn = 1;
constexpr int RunningNumberColumn = 2;
constexpr int NameColumn = 4;
constexpr int BrowsingPressureColumn = 5;
constexpr int BrowsingChangeColumn = 6;
constexpr int FirstYearColumn = 7;

const QString Indent12 = QStringLiteral("            ");

// Cell texts reach the log through singleLine(): a line break inside a cell
// must not look like a line of the run's own.
QString rowLine(int row, const QString &runningNumber, const QString &name)
{
    return CRLF + QStringLiteral("Excel Zeile (%1) ").arg(row) + runningNumber + QStringLiteral(", ")
           + singleLine(name) + CRLF;
}

// A row's running number cell, as failures and the end of the data name it.
QString numberCell(int row)
{
    return cellName(row, RunningNumberColumn, QStringLiteral("Lfdnr"));
}

QString matchLines(OrbeRecordset &district)
{
    OrbeFields fields = district.Fields();
    auto text = [&](const char *column) { return fields.Item(QString::fromLatin1(column)).text(); };
    return Indent12 + QStringLiteral("JagdbezirksSammlung: ") + text("JagdbezirksSammlung_Lfdnr")
           + QStringLiteral(", ") + text("JagdbezirksSammlung_Name") + CRLF + Indent12
           + QStringLiteral("JagdbezirkDatenBayern: ") + text("JagdbezirkDatenBayern_Lfdnr") + QStringLiteral(", ")
           + text("JagdbezirkDatenBayern_Reviername") + CRLF;
}

} // namespace

std::optional<qlonglong> districtNumber(const QString &runningNumber, int row)
{
    if (!isWholeNumber(runningNumber)) {
        const QString cell = numberCell(row);
        throw Failure(ErrorNumber::TypeMismatch, ErrorSource::Tarvel,
                      QStringLiteral("Typen unverträglich: %1 enthält %2, das ist keine laufende Nummer "
                                     "(ganze Zahl). Der Lauf endet bei dieser Zeile.")
                          .arg(cell, quotedValue(runningNumber)));
    }
    bool fits = false;
    const qlonglong number = runningNumber.toLongLong(&fits);
    if (!fits)
        return std::nullopt;
    return number;
}

namespace {

// The districts of the rows ahead, read by their running numbers in one
// statement: a statement per row cost a round trip per row on a database
// server. Each row then picks its own from the rows read.
class DistrictLookup
{
public:
    // lastRow: the data's last row, below which every running number is filled.
    DistrictLookup(OrbeConnection &connection, const Worksheet &sheet, int lastRow)
        : m_connection(connection)
        , m_sheet(sheet)
        , m_lastRow(lastRow)
    {
    }

    // The district of the row's running number, the latest hunting year first.
    OrbeRecordset &find(int row, qlonglong runningNumber)
    {
        if (!m_districts || row > m_lastReadRow)
            readFrom(row);
        m_districts->Filter(QStringLiteral("JagdbezirkDatenBayern_Lfdnr = '%1'").arg(runningNumber));
        return *m_districts;
    }

private:
    static constexpr int NumbersPerStatement = 100;

    void readFrom(int firstRow)
    {
        static const QString statement = [] {
            QStringList placeholders;
            for (int i = 0; i < NumbersPerStatement; ++i)
                placeholders << QStringLiteral("CAST(? AS BIGINT)");
            return QStringLiteral("select * from JagdbezirksSammlung, Jagdbezirk, JagdbezirkDatenBayern") + CRLF
                   + QStringLiteral(" where JagdbezirksSammlung_ID_PK = Jagdbezirk_Sammlung_ID_FK")
                   + QStringLiteral(" and JagdbezirkDatenBayern_Jagdbezirk_ID_FK = Jagdbezirk_ID_PK")
                   + QStringLiteral(" and JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK = 1")
                   + QStringLiteral(" and JagdbezirkDatenBayern_Lfdnr in (") + placeholders.join(QStringLiteral(", "))
                   + QStringLiteral(") order by JagdbezirkDatenBayern_Jagdjahr desc");
        }();
        // The numbers of the rows the run will look up; a row the run refuses
        // or ends at is reached before anything read for the rows after it.
        QVariantList numbers;
        int row = firstRow;
        for (; row <= m_lastRow && numbers.size() < NumbersPerStatement; ++row) {
            const QString text = trimmedCell(m_sheet, row, RunningNumberColumn);
            if (isWholeNumber(text)) {
                if (const std::optional<qlonglong> number = districtNumber(text, row))
                    numbers << *number;
            }
        }
        m_lastReadRow = row - 1;
        // Always as many values, so that it stays one prepared statement.
        const QVariant filler = numbers.isEmpty() ? QVariant(qlonglong(0)) : numbers.constFirst();
        while (numbers.size() < NumbersPerStatement)
            numbers << filler;
        m_districts = m_connection.OpenRecordset(statement, OpenMode::Lookup, numbers);
    }

    OrbeConnection &m_connection;
    const Worksheet &m_sheet;
    const int m_lastRow;
    std::unique_ptr<OrbeRecordset> m_districts;
    int m_lastReadRow = 0;
};

} // namespace

bool runDistrictCheck(RunHost &host)
{
    ImportWindowState &state = host.windowState();
    state.currentRow = 0;
    return runTrapped(host.placeName(), QStringLiteral("cmdImportTest_Click("), state.currentRow, [&](ErrorLine &at) {
        RunSummary summary;
        at(20); auto excel = SpreadsheetApplication::Start();
        at(30); Workbook *book = &excel->Open(state.workbookPath, LastReadRow);
        at(40); Worksheet *sheet = &book->firstSheet();
        at(50); host.clearLog();
        // The check covers the rows the import will take, not fewer.
        at(60); const int lastRow = lastDataRow(*sheet, RunningNumberColumn);
        at(70); host.setProgressMaximum(float(lastRow));
        DistrictLookup districts(*state.connection, *sheet, lastRow);
        at(80); for (state.currentRow = FirstDataRow; state.currentRow <= lastRow; ++state.currentRow) {
            const int row = state.currentRow;
            at(90); const QString runningNumber = trimmedCell(*sheet, row, RunningNumberColumn);
                    if (runningNumber.isEmpty()) break;
            at(100); host.setProgressValue(float(row));
            at(110); const std::optional<qlonglong> number = districtNumber(runningNumber, row);
            at(120); OrbeRecordset *district = number ? &districts.find(row, *number) : nullptr;
            at(130); host.appendLog(rowLine(row, runningNumber, trimmedCell(*sheet, row, NameColumn)));
            at(140); if (district && district->HasCurrent()) {
                at(150); host.appendLog(matchLines(*district)); ++summary.found;
            } else {
                at(160); host.appendLog(QStringLiteral("     Lfdnr nicht im Erhebungsbogen       ") + CRLF); ++summary.notFound;
            }
            if (stopAfterRow(host, summary, row)) break;
        at(170); }
        noteUnreadRows(summary, *sheet, state.currentRow, numberCell(state.currentRow), {RunningNumberColumn});
        at(180); host.setProgressValue(0);
        at(190); book->Close();
        at(200); excel->Quit();
        at(210); excel.reset(); book = nullptr; sheet = nullptr;
        at(220); if (!summary.cancelledAfterRow) host.setImportEnabled(true);
        host.showSummary(summary);
    });
}

bool runDistrictImport(RunHost &host)
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
        at(50); startImportLog(host);
        at(60); state.lastRow = lastDataRow(*sheet, RunningNumberColumn);
        at(70); host.setProgressMaximum(float(state.lastRow));
        DistrictLookup districts(*state.connection, *sheet, state.lastRow);
        at(80); for (state.currentRow = FirstDataRow; state.currentRow <= state.lastRow; ++state.currentRow) {
            const int row = state.currentRow;
            at(90); const QString runningNumber = trimmedCell(*sheet, row, RunningNumberColumn);
                    if (runningNumber.isEmpty()) break;
            at(100); host.setProgressValue(float(row));
            at(110); const std::optional<qlonglong> number = districtNumber(runningNumber, row);
            at(120); OrbeRecordset *district = number ? &districts.find(row, *number) : nullptr;
            const QString name = trimmedCell(*sheet, row, NameColumn);
            const QString firstYearText = trimmedCell(*sheet, row, FirstYearColumn);
            at(130); host.appendLog(rowLine(row, runningNumber, name));
            at(140); if (district && district->HasCurrent()) {
                at(150); host.appendLog(matchLines(*district));
                at(160); const qint32 firstYear =
                             toInt32(firstYearText, cellName(row, FirstYearColumn, QStringLiteral("Jagdjahr")));
                at(170); AssessmentRecord record(*state.connection,
                                                 district->Fields().Item(QStringLiteral("Jagdbezirkssammlung_ID_PK")),
                                                 firstYear);
                at(180); const QString lead = QStringLiteral("(Zeile %1)\t").arg(row);
                at(190); const bool exists = record.exists(); if (exists) {
                    at(200); record.beginUpdate();
                    at(210); host.appendLog(lead + QStringLiteral(" aktualisiert: "));
                } else {
                    at(220); record.beginInsert();
                    at(230); host.appendLog(lead + QStringLiteral(" hinzugefügt: "));
                    at(240); record.setNewRecordKeys(roeDeer);
                }
                at(250); record.setCode(QStringLiteral("IdVerbissbelastung"),
                                        browsingPressureDigitCode(trimmedCell(*sheet, row, BrowsingPressureColumn)));
                at(260); record.setCode(QStringLiteral("IdAenderungVerbissbelastung"),
                                        browsingPressureChangeCode(trimmedCell(*sheet, row, BrowsingChangeColumn)));
                at(270); host.appendLog(singleLine(sheet->cellValue(row, RowValueColumn)) + QStringLiteral(", ")
                                        + singleLine(name) + QStringLiteral(", ") + runningNumber
                                        + QStringLiteral(", ") + firstYearText + CRLF);
                at(280); record.save();
                ++summary.found; ++(exists ? summary.updated : summary.added);
            } else {
                at(290); host.appendLog(CRLF + QStringLiteral("(Zeile %1) Jagdbezirk (Laufende Nummer) nicht in der "
                                                              "Datenbank: ").arg(row)
                                        + singleLine(name) + QStringLiteral(", ") + runningNumber
                                        + QStringLiteral(", ") + singleLine(firstYearText) + CRLF + CRLF);
                ++summary.notFound;
            }
            if (stopAfterRow(host, summary, row)) break;
        at(300); }
        noteUnreadRows(summary, *sheet, state.currentRow, numberCell(state.currentRow), {RunningNumberColumn});
        at(310); host.setProgressValue(0);
        at(320); book->Close();
        at(330); excel->Quit();
        at(340); excel.reset(); book = nullptr; sheet = nullptr;
        at(350); host.setImportEnabled(false);
        at(360); finishImportLog(host, summary);
    });
}
