#pragma once

#include "failure.h"
#include "numbertext.h"
#include "spreadsheet.h"

#include <QByteArray>
#include <QtEndian>
#include <QString>

#include <functional>
#include <optional>
#include <vector>

class QIODevice;

// Internals of the workbook reader: one reader per file format, each returning
// the first sheet's cells up to the row its caller needs (`lastRow`). Where
// the format keeps rows in order a reader stops there; elsewhere it reads on
// without keeping what lies below.
namespace workbook {

// Sheet limits of the current spreadsheet formats. A cell beyond them cannot be
// addressed by any caller, and a file claiming one is damaged.
constexpr int kMaxRows = Worksheet::MaxRows;
constexpr int kMaxColumns = 16384;
// Bounds the memory the kept cells take: the row limit alone does not, since
// an ODS row repeats cheaply.
constexpr qint64 kMaxCells = 2'000'000;
// The most a spreadsheet program stores in one cell; a longer text is refused.
constexpr qsizetype kMaxCellChars = 32767;
// Bounds the text the kept cells hold together (32 MB): 10,000 rows of 9
// cells of kMaxCellChars would be gigabytes, and an ODS row or a shared string
// repeats at no cost in the file. Real workbooks hold a few megabytes.
constexpr qint64 kMaxSheetChars = 16ll * 1024 * 1024;
// Bounds what is read whole into memory: a zip package or an .xls file, or the
// part of a text file that holds the needed rows.
constexpr qint64 kMaxReadSize = 256ll * 1024 * 1024;

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
[[noreturn]] void refuseTooManyCells();
[[noreturn]] void refuseTooMuchText();
// Appends as much of `piece` as still shows that a cell is too long: text
// beyond kMaxCellChars + 1 is refused later anyway and need not be held.
void appendCapped(QString &out, QStringView piece);

// Collects non-empty cells row by row, bounded by the limits above; kMaxCells
// bounds the cells stored, which includes the empty ones before a row's last,
// kMaxSheetChars their text. A lone surrogate (a broken character) becomes
// U+FFFD. Cells below `lastRow` or right of Worksheet::MaxColumns are checked
// for a valid position, then dropped; no bound counts them.
class SheetBuilder
{
public:
    explicit SheetBuilder(int lastRow);
    void set(int row, int column, QString value);
    // Whether cells of this row are kept.
    bool keeps(int row) const { return row <= m_lastRow; }
    bool keeps(int row, int column) const { return keeps(row) && column <= Worksheet::MaxColumns; }
    Worksheet take();

private:
    Worksheet m_sheet;
    int m_lastRow;
    std::vector<int> m_widths; // per row: the column of its last cell
    qint64 m_cells = 0;        // cells stored, the empty ones before a row's last included
    qint64 m_chars = 0;        // characters stored
};

// Text cells that name a string of a shared-string table (xlsx, xls): the
// sheet is read first, so that only the strings its kept cells use are held,
// not a table that may hold a string for nearly every cell of the file.
class SharedStringCells
{
public:
    // A kept cell and the index of its string; refuses beyond kMaxCells.
    void add(int row, int column, quint64 index);
    // Reads the strings the cells use and sets the cells. `next(keep)` reads
    // the table's next string, returning its text when `keep` (else any text),
    // or nothing at the table's end; it is called no further than the highest
    // index used. A cell whose string the table lacks is damaged.
    void setCells(SheetBuilder &sheet, const std::function<std::optional<QString>(bool keep)> &next) const;

private:
    struct Cell
    {
        int row;
        int column;
        quint64 index;
    };
    std::vector<Cell> m_cells;
};

// The cell's "A1"-style reference, from a 1-based row and column.
QString cellReference(int row, int column);
// Parses "B12" (absolute markers allowed) into 1-based row/column; false if malformed.
bool parseCellReference(QStringView ref, int &row, int &column);

// Little-endian numbers of the binary formats (xls records, zip headers);
// the caller checks that the bytes are there.
inline quint16 le16(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint16>(bytes.data() + at);
}
inline quint32 le32(QByteArrayView bytes, qsizetype at)
{
    return qFromLittleEndian<quint32>(bytes.data() + at);
}

QString booleanText(bool value);
// A date serial (days since the epoch of the workbook's date system) as
// dd.MM.yyyy, with " hh:mm:ss" when it has a time part; below 1 only the time.
QString serialDateText(double serial, bool date1904);
// An ISO 8601 date or date-time (xlsx t="d", ods date-value) in the same form.
QString isoDateTimeText(const QString &iso);
// How a cell's number format shows its value.
struct NumberFormat
{
    enum Kind { Plain, DateTime, Elapsed } kind = Plain;
    QString units; // Elapsed: the units shown, the largest first ("hms" for [h]:mm:ss)
};
// The format of a built-in id or a custom code.
NumberFormat numberFormat(int formatId, const QString &customCode);
// The value as its format shows it: plain numbers as numberText(), dates as
// serialDateText(), elapsed times counted in their largest unit ("255:10:10").
QString formattedNumber(double value, const NumberFormat &format, bool date1904);

// The kind of file its first bytes show: a zip package (xlsx or ods), an
// .xls workbook, or else text.
enum class Format { Zip, Xls, Csv };
Format recogniseFormat(QByteArrayView head);

class ZipArchive;
// xlsx/xlsm or ods, recognised by the package's members.
Worksheet readZipPackage(const QByteArray &data, int lastRow = kMaxRows);
Worksheet readXlsx(const ZipArchive &zip, int lastRow = kMaxRows);
// The parts of an xlsx package that hold the first sheet and what its cells
// refer to; an empty name for a part the workbook lacks.
struct XlsxParts
{
    QString sheet;
    QString sharedStrings;
    QString styles;
};
// The first sheet's cells, read from those parts.
Worksheet readXlsxCells(const ZipArchive &zip, const XlsxParts &parts, bool date1904, int lastRow);
Worksheet readOds(const ZipArchive &zip, int lastRow = kMaxRows);
Worksheet readXls(const QByteArray &data, int lastRow = kMaxRows);
// An .xls workbook stream that a FILEPASS record marks as encrypted, decrypted
// in place with the spreadsheet program's built-in password (RC4 or CryptoAPI
// RC4); a workbook with any other password is refused.
void decryptWithDefaultPassword(QByteArray &stream);
// Reads the text from the device's current position only as far as the
// needed rows go.
Worksheet readCsv(QIODevice &text, int lastRow = kMaxRows);

} // namespace workbook
