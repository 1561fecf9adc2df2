#include "districtruns.h"

#include "assessmentcodes.h"
#include "assessmentrecord.h"
#include "conversions.h"
#include "failure.h"
#include "failuretrap.h"
#include "importlog.h"
#include "orberecordset.h"
#include "runhost.h"
#include "runskeleton.h"
#include "specieslookup.h"
#include "spreadsheet.h"
#include "workbookrows.h"

#include <optional>

namespace {

// District workbook columns.
constexpr int RowMarkColumn = 1; // a value of the row that the import only logs, as the cell holds it
constexpr int RunningNumberColumn = 2;
constexpr int NameColumn = 4;
constexpr int BrowsingPressureColumn = 5;
constexpr int BrowsingChangeColumn = 6;
constexpr int FirstYearColumn = 7;

// The match lines stand under the row line, 12 blanks in.
const QString MatchIndent = QStringLiteral("            ");

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
    return MatchIndent + QStringLiteral("JagdbezirksSammlung: ") + text("JagdbezirksSammlung_Lfdnr")
           + QStringLiteral(", ") + text("JagdbezirksSammlung_Name") + CRLF + MatchIndent
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
        // An import's batch may take rows again from before what was read.
        if (!m_districts || row > m_lastReadRow || row < m_firstReadRow)
            readFrom(row);
        const QString criterion = QStringLiteral("JagdbezirkDatenBayern_Lfdnr = '%1'").arg(runningNumber);
        m_districts->Filter(criterion);
        if (!latestYearTied(criterion))
            return *m_districts;
        // Which of two rows of the same year comes first is the database's
        // choice, made differently for a statement over many numbers: the
        // row's own statement decides, as it did before the rows were read
        // together.
        m_alone = m_connection.OpenRecordset(Statement + QStringLiteral(" and JagdbezirkDatenBayern_Lfdnr = ")
                                                 + numberPattern(runningNumber) + Order,
                                             OpenMode::Lookup);
        return *m_alone;
    }

private:
    static constexpr int NumbersPerStatement = 100;
    inline static const QString Statement =
        QStringLiteral("select * from JagdbezirksSammlung, Jagdbezirk, JagdbezirkDatenBayern") + CRLF
        + QStringLiteral(" where JagdbezirksSammlung_ID_PK = Jagdbezirk_Sammlung_ID_FK")
        + QStringLiteral(" and JagdbezirkDatenBayern_Jagdbezirk_ID_FK = Jagdbezirk_ID_PK")
        + QStringLiteral(" and JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK = 1");
    inline static const QString Order = QStringLiteral(" order by JagdbezirkDatenBayern_Jagdjahr desc");

    // The number as the pattern "0000#" writes it: 12 as 00012, 0 as 0000.
    static QString numberPattern(qlonglong number)
    {
        if (number == 0)
            return QStringLiteral("0000");
        const QString digits = QString::number(number < 0 ? -number : number).rightJustified(5, u'0');
        return number < 0 ? u'-' + digits : digits;
    }

    // Whether the filtered rows begin with two of the latest hunting year.
    // Leaves the filter standing on its first row.
    bool latestYearTied(const QString &criterion)
    {
        if (m_districts->rowCount() < 2)
            return false;
        const QString year = QStringLiteral("JagdbezirkDatenBayern_Jagdjahr");
        const QVariant latest = m_districts->Fields().Item(year).Value();
        m_districts->MoveNext();
        const bool tied = m_districts->Fields().Item(year).Value() == latest;
        m_districts->Filter(criterion);
        return tied;
    }

    void readFrom(int firstRow)
    {
        static const QString statement = [] {
            QStringList placeholders;
            for (int i = 0; i < NumbersPerStatement; ++i)
                placeholders << QStringLiteral("CAST(? AS BIGINT)");
            return Statement + QStringLiteral(" and JagdbezirkDatenBayern_Lfdnr in (")
                   + placeholders.join(QStringLiteral(", ")) + u')' + Order;
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
        m_firstReadRow = firstRow;
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
    std::unique_ptr<OrbeRecordset> m_alone; // a row's own, for tied years
    int m_firstReadRow = 0;
    int m_lastReadRow = 0;
};

} // namespace

namespace {

// Error lines both district runs number alike.
namespace DistrictLine {
constexpr int LastRow = 60, ProgressMaximum = 70, RunningNumber = 90, Progress = 100, Number = 110, Lookup = 120,
              RowLine = 130, Found = 140, MatchLines = 150;
} // namespace DistrictLine

// Error lines of "Test" (cmdImportTest_Click().
namespace CheckLine {
using namespace DistrictLine;
constexpr SharedLines Shared{.start = 20, .open = 30, .sheet = 40, .loop = 80, .next = 170, .progressReset = 180,
                             .close = 190, .quit = 200, .release = {210, 210, 210}, .importButton = 220, .logFile = 0};
constexpr int ClearLog = 50, NotFoundLine = 160;
} // namespace CheckLine

// Error lines of "Import Starten" (cmdImportStarten_Click).
namespace ImportLine {
using namespace DistrictLine;
constexpr SharedLines Shared{.start = 20, .open = 30, .sheet = 40, .loop = 80, .next = 300, .progressReset = 310,
                             .close = 320, .quit = 330, .release = {340, 340, 340}, .importButton = 350, .logFile = 360};
constexpr int LogStart = 50, FirstYear = 160, Record = 170, Lead = 180, Exists = 190, BeginUpdate = 200,
              UpdateLead = 210, BeginInsert = 220, InsertLead = 230, NewKeys = 240, BrowsingPressure = 250,
              BrowsingChange = 260, RecordValues = 270, Save = 280, NotFoundLine = 290;
} // namespace ImportLine

// What both district runs do alike: begin with the last data row, the
// progress bar's maximum and the lookup of the rows' districts; begin each
// row with its running number (an empty one ends the data), the progress and
// its district.
struct DistrictRows
{
    int lastRow = 0;
    std::optional<DistrictLookup> districts;

    void begin(RunHost &host, const Worksheet &sheet, ErrorLine &at)
    {
        // The check covers the rows the import will take, not fewer.
        at(DistrictLine::LastRow); lastRow = lastDataRow(sheet, RunningNumberColumn);
        at(DistrictLine::ProgressMaximum); host.setProgressMaximum(float(lastRow));
        districts.emplace(*host.windowState().connection, sheet, lastRow);
    }

    struct RowStart
    {
        QString runningNumber;
        OrbeRecordset *district; // nullptr for a number that no district can have
    };
    std::optional<RowStart> startRow(RunHost &host, const Worksheet &sheet, int row, ErrorLine &at)
    {
        using namespace DistrictLine;
        at(RunningNumber); const QString runningNumber = trimmedCell(sheet, row, RunningNumberColumn);
                           if (runningNumber.isEmpty()) return std::nullopt;
        at(Progress); host.setProgressValue(float(row));
        at(Number); const std::optional<qlonglong> number = districtNumber(runningNumber, row);
        at(Lookup); return RowStart{runningNumber, number ? &districts->find(row, *number) : nullptr};
    }
};

void noteUnreadDistrictRows(const Worksheet &sheet, int stopRow, RunSummary &summary)
{
    noteUnreadRows(summary, sheet, stopRow, numberCell(stopRow), {RunningNumberColumn});
}

} // namespace

bool runDistrictCheck(RunHost &host)
{
    DistrictRows rows;
    const auto begin = [&](const Worksheet &sheet, ErrorLine &at) {
        at(CheckLine::ClearLog); host.clearLog();
        rows.begin(host, sheet, at);
        return rows.lastRow;
    };
    const auto row = [&](const Worksheet &sheet, int row, ErrorLine &at, RunSummary &summary) {
        using namespace CheckLine;
        const std::optional<DistrictRows::RowStart> start = rows.startRow(host, sheet, row, at);
        if (!start)
            return RowEnd::LeaveLoop;
        at(RowLine); host.appendLog(rowLine(row, start->runningNumber, trimmedCell(sheet, row, NameColumn)));
        at(Found); if (start->district && start->district->HasCurrent()) {
            at(MatchLines); host.appendLog(matchLines(*start->district)); ++summary.found;
        } else {
            at(NotFoundLine); host.appendLog(QStringLiteral("     Lfdnr nicht im Erhebungsbogen       ") + CRLF); ++summary.notFound;
        }
        return RowEnd::Next;
    };
    return runRows(host, {.lines = CheckLine::Shared, .begin = begin, .row = row, .end = noteUnreadDistrictRows});
}

bool runDistrictImport(RunHost &host)
{
    ImportWindowState &state = host.windowState();
    DistrictRows rows;
    ImportLog log(host, WorkbookKind::District);
    SpeciesKey roeDeer(QStringLiteral("Rehwild"));
    const auto begin = [&](const Worksheet &sheet, ErrorLine &at) {
        at(ImportLine::LogStart); log.start();
        rows.begin(host, sheet, at);
        state.lastRow = rows.lastRow;
        return rows.lastRow;
    };
    const auto row = [&](const Worksheet &sheet, int row, ErrorLine &at, RunSummary &summary) {
        using namespace ImportLine;
        const std::optional<DistrictRows::RowStart> start = rows.startRow(host, sheet, row, at);
        if (!start)
            return RowEnd::LeaveLoop;
        const QString &runningNumber = start->runningNumber;
        OrbeRecordset *district = start->district;
        const QString name = trimmedCell(sheet, row, NameColumn);
        const QString firstYearText = trimmedCell(sheet, row, FirstYearColumn);
        at(RowLine); log.append(at, rowLine(row, runningNumber, name));
        at(Found); if (district && district->HasCurrent()) {
            at(MatchLines); log.append(at, matchLines(*district));
            at(FirstYear); const qint32 firstYear = toInt32(firstYearText, cellName(row, FirstYearColumn, QStringLiteral("Jagdjahr")));
            at(Record); AssessmentRecord record(*state.connection, district->Fields().Item(QStringLiteral("Jagdbezirkssammlung_ID_PK")),
                                                firstYear, &log.batch());
            // The record's line is logged once the record is saved: a log
            // never shows a row as saved that is not.
            at(Lead); QString recordLine = QStringLiteral("(Zeile %1)\t").arg(row);
            at(Exists); const bool exists = record.exists(); if (exists) {
                at(BeginUpdate); record.beginUpdate();
                at(UpdateLead); recordLine += QStringLiteral(" aktualisiert: ");
            } else {
                at(BeginInsert); record.beginInsert();
                at(InsertLead); recordLine += QStringLiteral(" hinzugefügt: ");
                at(NewKeys); record.setNewRecordKeys(roeDeer);
            }
            at(BrowsingPressure); record.setCode(QStringLiteral("IdVerbissbelastung"),
                                                 browsingPressureDigitCode(trimmedCell(sheet, row, BrowsingPressureColumn)));
            at(BrowsingChange); record.setCode(QStringLiteral("IdAenderungVerbissbelastung"),
                                               browsingPressureChangeCode(trimmedCell(sheet, row, BrowsingChangeColumn)));
            at(RecordValues); recordLine += singleLine(sheet.cellValue(row, RowMarkColumn)) + QStringLiteral(", ")
                                            + singleLine(name) + QStringLiteral(", ") + runningNumber
                                            + QStringLiteral(", ") + firstYearText + CRLF;
            at(Save); record.save(); log.append(at, recordLine);
            ++summary.found; ++(exists ? summary.updated : summary.added);
        } else {
            at(NotFoundLine); log.append(at, CRLF + QStringLiteral("(Zeile %1) Jagdbezirk (Laufende Nummer) nicht in der "
                                                                   "Datenbank: ").arg(row)
                                             + singleLine(name) + QStringLiteral(", ") + runningNumber
                                             + QStringLiteral(", ") + singleLine(firstYearText) + CRLF + CRLF);
            ++summary.notFound;
        }
        return RowEnd::Next;
    };
    return runRows(host,
                   {.importLog = &log, .lines = ImportLine::Shared, .begin = begin, .row = row, .end = noteUnreadDistrictRows});
}
