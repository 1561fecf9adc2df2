// Excel 97-2003 workbooks (.xls): the Workbook stream of the compound file,
// its BIFF8 records read here, every length and offset checked. Formula cells
// read as their stored results: an empty cell would end the caller's data.
#include "biffrecords.h"
#include "compoundfile.h"
#include "sheetreaders.h"

#include <QHash>

#include <optional>
#include <vector>

namespace workbook {

namespace {

namespace Rec {
constexpr quint16 Formula = 0x0006;
constexpr quint16 FormulaBiff3 = 0x0206; // older kinds, still written by some producers
constexpr quint16 FormulaBiff4 = 0x0406;
constexpr quint16 Eof = 0x000A;
constexpr quint16 DateMode = 0x0022;
constexpr quint16 BoundSheet = 0x0085;
constexpr quint16 MulRk = 0x00BD;
constexpr quint16 Sst = 0x00FC;
constexpr quint16 LabelSst = 0x00FD;
constexpr quint16 RString = 0x00D6;
constexpr quint16 Xf = 0x00E0;
constexpr quint16 Number = 0x0203;
constexpr quint16 Label = 0x0204;
constexpr quint16 BoolErr = 0x0205;
constexpr quint16 String = 0x0207;
constexpr quint16 Array = 0x0221;
constexpr quint16 Table = 0x0236;
constexpr quint16 Rk = 0x027E;
constexpr quint16 Format = 0x041E;
constexpr quint16 ShrFmla = 0x04BC;
constexpr quint16 Bof = 0x0809;
} // namespace Rec

[[noreturn]] void refuseOldFormat()
{
    refuse(QStringLiteral("Das Dateiformat Excel 5.0/95 oder älter wird nicht unterstützt. "
                          "Bitte die Arbeitsmappe als .xlsx oder als Excel 97-2003 (.xls) speichern."));
}

QByteArray workbookStream(const QByteArray &data)
{
    const CompoundFile container(data);
    if (container.find(u"EncryptedPackage"))
        refusePassword(); // a password-protected xlsx
    const std::optional<CompoundFile::Stream> stream = container.find(u"Workbook");
    if (!stream) {
        if (container.find(u"Book"))
            refuseOldFormat();
        refuse(QStringLiteral("Die Datei ist ein OLE-Dokument, aber keine Excel-Arbeitsmappe."));
    }
    return container.read(*stream);
}

void checkBof(const BiffRecord &record)
{
    if (record.type == 0x0009 || record.type == 0x0209 || record.type == 0x0409)
        refuseOldFormat(); // BIFF2 to BIFF4
    if (record.type != Rec::Bof)
        refuse(QStringLiteral("Die Datei ist keine Excel-Arbeitsmappe."));
    need(record, 4);
    if (le16(record.body, 0) != 0x0600)
        refuseOldFormat();
}

QString errorText(quint8 code)
{
    switch (code) {
    case 0x00: return QStringLiteral("#NULL!");
    case 0x07: return QStringLiteral("#DIV/0!");
    case 0x0F: return QStringLiteral("#VALUE!");
    case 0x17: return QStringLiteral("#REF!");
    case 0x1D: return QStringLiteral("#NAME?");
    case 0x24: return QStringLiteral("#NUM!");
    case 0x2A: return QStringLiteral("#N/A");
    default: return QStringLiteral("#FEHLER!");
    }
}

struct Globals
{
    // The shared-string table, read once the sheet says which strings it
    // uses; a workbook has one, and a second would only cost memory.
    std::optional<BiffRecord> sharedStrings;
    std::vector<quint16> xfFormats; // format id per XF record
    QHash<int, QString> formats;
    bool date1904 = false;
    std::optional<quint32> firstSheetPos;
    quint8 firstSheetType = 0;

    QString formatted(quint16 xf, double value) const
    {
        const int id = xf < xfFormats.size() ? xfFormats[xf] : 0;
        return formattedNumber(value, numberFormat(id, formats.value(id)), date1904);
    }
};

// Sets the text cells from the shared-string table: the SST record holds the
// count of its strings, which go on in its CONTINUE records.
void setSharedStrings(const std::optional<BiffRecord> &table, const SharedStringCells &cells, SheetBuilder &sheet)
{
    std::optional<ContinuedReader> reader;
    quint32 left = 0;
    if (table) {
        reader.emplace(*table, 8);
        left = le32(table->body, 4);
    }
    cells.setCells(sheet, [&](bool keep) -> std::optional<QString> {
        if (left == 0 || reader->atEnd())
            return std::nullopt;
        --left;
        if (keep)
            return reader->unicodeString();
        reader->skipUnicodeString();
        return QString();
    });
}

Globals readGlobals(QByteArrayView stream)
{
    Globals globals;
    BiffRecordStream records(stream, 0);
    checkBof(records.next());
    for (;;) {
        const BiffRecord record = records.next();
        switch (record.type) {
        case Rec::Eof:
            return globals;
        case Rec::DateMode:
            need(record, 2);
            globals.date1904 = le16(record.body, 0) == 1;
            break;
        case Rec::Xf:
            need(record, 4);
            globals.xfFormats.push_back(le16(record.body, 2));
            break;
        case Rec::Format: {
            need(record, 2);
            ContinuedReader reader(record, 2);
            // A number format holds at most 255 characters; a longer one
            // would only cost memory, up to 65,536 of them.
            globals.formats.insert(le16(record.body, 0), reader.unicodeString().left(255));
            break;
        }
        case Rec::BoundSheet:
            need(record, 6);
            if (!globals.firstSheetPos) {
                globals.firstSheetPos = le32(record.body, 0);
                globals.firstSheetType = quint8(record.body[5]);
            }
            break;
        case Rec::Sst:
            need(record, 8);
            if (!globals.sharedStrings)
                globals.sharedStrings = record;
            break;
        default:
            break;
        }
    }
}

// The first sheet's cell records into the builder. Cell records need not come
// in row order, so the whole sheet is read; the builder drops what lies below
// the kept rows.
class SheetRecords
{
public:
    SheetRecords(const Globals &globals, SheetBuilder &sheet, SharedStringCells &strings)
        : m_globals(globals)
        , m_sheet(sheet)
        , m_strings(strings)
    {
    }

    void read(QByteArrayView stream);

private:
    void cell(const BiffRecord &record);
    void formula(const BiffRecord &record, int row, int column);
    void position(const BiffRecord &record, int &row, int &column) const;
    void number(int row, int column, quint16 xf, double value)
    {
        m_sheet.set(row, column, m_globals.formatted(xf, value));
    }

    const Globals &m_globals;
    SheetBuilder &m_sheet;
    SharedStringCells &m_strings;
    // A formula whose text result follows in a STRING record.
    bool m_pendingString = false;
    int m_pendingRow = 0;
    int m_pendingColumn = 0;
};

void SheetRecords::read(QByteArrayView stream)
{
    BiffRecordStream records(stream, qsizetype(*m_globals.firstSheetPos));
    checkBof(records.next());
    int nesting = 1; // charts embedded in the sheet bring their own BOF/EOF
    for (;;) {
        const BiffRecord record = records.next();
        if (m_pendingString && record.type != Rec::String && record.type != Rec::ShrFmla
            && record.type != Rec::Array && record.type != Rec::Table)
            refuseFormulaWithoutResult(m_pendingRow, m_pendingColumn);
        if (record.type == Rec::Bof) {
            ++nesting;
        } else if (record.type == Rec::Eof) {
            if (--nesting == 0)
                return;
        } else if (nesting == 1) {
            cell(record);
        }
    }
}

void SheetRecords::position(const BiffRecord &record, int &row, int &column) const
{
    need(record, 6);
    row = le16(record.body, 0) + 1;
    column = le16(record.body, 2) + 1;
    if (column > kMaxColumns)
        refuseDamaged(QStringLiteral("Spalte außerhalb des Tabellenblatts"));
}

void SheetRecords::cell(const BiffRecord &record)
{
    int row = 0;
    int column = 0;
    switch (record.type) {
    case Rec::Number:
        need(record, 14);
        position(record, row, column);
        number(row, column, le16(record.body, 4), f64(record.body, 6));
        break;
    case Rec::Rk:
        need(record, 10);
        position(record, row, column);
        number(row, column, le16(record.body, 4), rkValue(le32(record.body, 6)));
        break;
    case Rec::MulRk: {
        position(record, row, column);
        const qsizetype count = (record.body.size() - 6) / 6;
        for (qsizetype i = 0; i < count; ++i) {
            const qsizetype at = 4 + i * 6;
            number(row, column + int(i), le16(record.body, at), rkValue(le32(record.body, at + 2)));
        }
        break;
    }
    case Rec::LabelSst: {
        need(record, 10);
        position(record, row, column);
        if (m_sheet.keeps(row, column))
            m_strings.add(row, column, le32(record.body, 6));
        break;
    }
    case Rec::Label:
    case Rec::RString:
        position(record, row, column);
        m_sheet.set(row, column, ContinuedReader(record, 6).unicodeString());
        break;
    case Rec::BoolErr:
        need(record, 8);
        position(record, row, column);
        m_sheet.set(row, column, record.body[7] ? errorText(quint8(record.body[6])) : booleanText(record.body[6] != 0));
        break;
    case Rec::Formula:
    case Rec::FormulaBiff3:
    case Rec::FormulaBiff4:
        need(record, 16);
        position(record, row, column);
        formula(record, row, column);
        break;
    case Rec::String:
        if (m_pendingString) {
            m_sheet.set(m_pendingRow, m_pendingColumn, ContinuedReader(record).unicodeString());
            m_pendingString = false;
        }
        break;
    case 0x0002: // INTEGER, NUMBER, LABEL, BOOLERR and STRING of Excel 2.x:
    case 0x0003: // their layout differs, and a cell skipped would end the
    case 0x0004: // caller's data early (its FORMULA shares 0x0006, read above)
    case 0x0005:
    case 0x0007:
        refuseDamaged(QStringLiteral("Zellwert im Datensatz 0x%1 eines älteren Formats")
                          .arg(record.type, 4, 16, QLatin1Char('0')));
    default:
        break; // BLANK, MULBLANK, formatting, objects
    }
}

void SheetRecords::formula(const BiffRecord &record, int row, int column)
{
    if (!m_sheet.keeps(row))
        return; // a missing result there matters to no one
    const QByteArrayView result = record.body.sliced(6, 8);
    if (quint8(result[6]) != 0xFF || quint8(result[7]) != 0xFF) {
        number(row, column, le16(record.body, 4), f64(record.body, 6));
        return;
    }
    switch (quint8(result[0])) {
    case 0: // text, in the STRING record that follows
        m_pendingString = true;
        m_pendingRow = row;
        m_pendingColumn = column;
        break;
    case 1:
        m_sheet.set(row, column, booleanText(result[2] != 0));
        break;
    case 2:
        m_sheet.set(row, column, errorText(quint8(result[2])));
        break;
    case 3: // the empty text
        break;
    default:
        refuseFormulaWithoutResult(row, column);
    }
}

} // namespace

Worksheet readXls(const QByteArray &data, int lastRow)
{
    // Excel 2.x-4.x files are a bare record stream, later ones a compound file.
    QByteArray stream = data.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1") ? workbookStream(data) : data;
    decryptWithDefaultPassword(stream);
    const Globals globals = readGlobals(stream);
    if (!globals.firstSheetPos)
        refuse(QStringLiteral("Die Arbeitsmappe enthält kein Tabellenblatt."));
    if (globals.firstSheetType != 0)
        refuse(QStringLiteral("Das erste Blatt der Arbeitsmappe ist kein Tabellenblatt."));
    SheetBuilder sheet(lastRow);
    SharedStringCells strings;
    SheetRecords(globals, sheet, strings).read(stream);
    setSharedStrings(globals.sharedStrings, strings, sheet);
    return sheet.take();
}

} // namespace workbook
