#pragma once

#include "failure.h"
#include "spreadsheet.h"

#include <QByteArray>
#include <QString>

#include <vector>

// Internals of the workbook reader: one reader per file format, each taking the
// whole file's bytes and returning its first sheet.
namespace workbook {

// Sheet limits of the current spreadsheet formats. A cell beyond them cannot be
// addressed by any caller, and a file claiming one is damaged.
constexpr int kMaxRows = 1048576;
constexpr int kMaxColumns = 16384;
// Bounds the memory a crafted file can make us allocate (repeated ODS cells,
// huge shared-string counts).
constexpr qint64 kMaxCells = 2'000'000;

// A reader's reason for refusing a file; readFirstWorksheet() turns it into a
// Failure naming the file. `reason` is a German sentence fragment.
struct ReadError
{
    long number;
    QString reason;
};

[[noreturn]] void refuse(const QString &reason);
[[noreturn]] void refuseDamaged(const QString &detail = QString());
[[noreturn]] void refusePassword();
[[noreturn]] void refuseFormulaWithoutResult(int row, int column);

// Collects non-empty cells row by row, bounded by the limits above.
class SheetBuilder
{
public:
    void set(int row, int column, QString value);
    Worksheet take();

private:
    Worksheet m_sheet;
    qint64 m_cells = 0;
};

// "A1"-style names, 1-based.
QString cellName(int row, int column);
// Parses "B12" (absolute markers allowed) into 1-based row/column; false if malformed.
bool parseCellName(QStringView ref, int &row, int &column);

// Whole numbers as digits, others in shortest round-trip form with decimal comma.
QString numberText(double value);
QString booleanText(bool value);
// A date serial (days since the epoch of the workbook's date system) as
// dd.MM.yyyy, with " hh:mm:ss" when it has a time part; below 1 only the time.
QString serialDateText(double serial, bool date1904);
// An ISO 8601 date or date-time (xlsx t="d", ods date-value) in the same form.
QString isoDateTimeText(const QString &iso);
// Whether a cell number format shows a date/time: built-in ids or a custom code.
bool isDateFormat(int formatId, const QString &customCode);
bool isDateFormatCode(const QString &code);

class ZipArchive;
// xlsx/xlsm or ods, recognised by the package's members.
Worksheet readZipPackage(const QByteArray &data);
Worksheet readXlsx(const ZipArchive &zip);
Worksheet readOds(const ZipArchive &zip);
Worksheet readXls(const QByteArray &data);
Worksheet readCsv(const QByteArray &data);

} // namespace workbook
