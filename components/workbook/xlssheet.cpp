// The first sheet of an .xls workbook: its cell records, the older formula
// kinds included. Formula cells read as their stored results: an empty cell
// would end the caller's data.
#include "xlssheet.h"

#include <optional>

namespace workbook {

namespace {

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

// The first sheet's cell records into the builder, each kind by a handler of
// its own. Cell records need not come in row order, so the whole sheet is
// read; the builder drops what lies below the kept rows.
class SheetRecords
{
public:
    SheetRecords(const CellFormats &formats, SheetBuilder &sheet, SharedStringCells &strings)
        : m_formats(formats)
        , m_sheet(sheet)
        , m_strings(strings)
    {
    }

    void read(QByteArrayView stream, qsizetype start);

private:
    struct Cell
    {
        int row;
        int column;
    };

    void handle(const BiffRecord &record);
    void number(const BiffRecord &record);
    void rk(const BiffRecord &record);
    void mulRk(const BiffRecord &record);
    void labelSst(const BiffRecord &record);
    void label(const BiffRecord &record);
    void boolErr(const BiffRecord &record);
    void formula(const BiffRecord &record);
    void string(const BiffRecord &record);
    // The cell named at the start of a record that must hold `size` bytes.
    Cell cellOf(const BiffRecord &record, qsizetype size = 6) const;
    void setNumber(Cell cell, quint16 xf, double value)
    {
        m_sheet.set(cell.row, cell.column, m_formats.formatted(xf, value));
    }

    const CellFormats &m_formats;
    SheetBuilder &m_sheet;
    SharedStringCells &m_strings;
    // A formula whose text result follows in a STRING record.
    std::optional<Cell> m_awaitingString;
};

void SheetRecords::read(QByteArrayView stream, qsizetype start)
{
    BiffRecordStream records(stream, start);
    checkBof(records.next());
    int nesting = 1; // charts embedded in the sheet bring their own BOF/EOF
    for (;;) {
        const BiffRecord record = records.next();
        if (m_awaitingString && record.type != RecordType::String && record.type != RecordType::ShrFmla
            && record.type != RecordType::Array && record.type != RecordType::Table)
            refuseFormulaWithoutResult(m_awaitingString->row, m_awaitingString->column);
        if (record.type == RecordType::Bof) {
            ++nesting;
        } else if (record.type == RecordType::Eof) {
            if (--nesting == 0)
                return;
        } else if (nesting == 1) {
            handle(record);
        }
    }
}

void SheetRecords::handle(const BiffRecord &record)
{
    switch (record.type) {
    case RecordType::Number:
        return number(record);
    case RecordType::Rk:
        return rk(record);
    case RecordType::MulRk:
        return mulRk(record);
    case RecordType::LabelSst:
        return labelSst(record);
    case RecordType::Label:
    case RecordType::RString:
        return label(record);
    case RecordType::BoolErr:
        return boolErr(record);
    case RecordType::Formula:
    case RecordType::FormulaBiff3:
    case RecordType::FormulaBiff4:
        return formula(record);
    case RecordType::String:
        return string(record);
    case 0x0002: // INTEGER, NUMBER, LABEL, BOOLERR and STRING of Excel 2.x:
    case 0x0003: // their layout differs, and a cell skipped would end the
    case 0x0004: // caller's data early (its FORMULA shares 0x0006, read above)
    case 0x0005:
    case 0x0007:
        refuseDamaged(QStringLiteral("Zellwert im Datensatz 0x%1 eines älteren Formats")
                          .arg(record.type, 4, 16, QLatin1Char('0')));
    default:
        return; // BLANK, MULBLANK, formatting, objects
    }
}

SheetRecords::Cell SheetRecords::cellOf(const BiffRecord &record, qsizetype size) const
{
    need(record, size);
    const Cell cell{le16(record.body, 0) + 1, le16(record.body, 2) + 1};
    if (cell.column > kMaxColumns)
        refuseDamaged(QStringLiteral("Spalte außerhalb des Tabellenblatts"));
    return cell;
}

void SheetRecords::number(const BiffRecord &record)
{
    setNumber(cellOf(record, 14), le16(record.body, 4), f64(record.body, 6));
}

void SheetRecords::rk(const BiffRecord &record)
{
    setNumber(cellOf(record, 10), le16(record.body, 4), rkValue(le32(record.body, 6)));
}

// RK numbers of neighbouring cells of a row.
void SheetRecords::mulRk(const BiffRecord &record)
{
    const Cell first = cellOf(record);
    const qsizetype count = (record.body.size() - 6) / 6;
    for (qsizetype i = 0; i < count; ++i) {
        const qsizetype at = 4 + i * 6;
        setNumber({first.row, first.column + int(i)}, le16(record.body, at), rkValue(le32(record.body, at + 2)));
    }
}

// A string of the shared-string table, set once the table is read.
void SheetRecords::labelSst(const BiffRecord &record)
{
    const Cell cell = cellOf(record, 10);
    if (m_sheet.keeps(cell.row, cell.column))
        m_strings.add(cell.row, cell.column, le32(record.body, 6));
}

// A string of its own (LABEL), with formatting runs (RSTRING).
void SheetRecords::label(const BiffRecord &record)
{
    const Cell cell = cellOf(record);
    m_sheet.set(cell.row, cell.column, ContinuedReader(record, 6).unicodeString());
}

void SheetRecords::boolErr(const BiffRecord &record)
{
    const Cell cell = cellOf(record, 8);
    m_sheet.set(cell.row, cell.column,
                record.body[7] ? errorText(quint8(record.body[6])) : booleanText(record.body[6] != 0));
}

void SheetRecords::formula(const BiffRecord &record)
{
    const Cell cell = cellOf(record, 16);
    if (!m_sheet.keeps(cell.row))
        return; // a missing result there matters to no one
    const QByteArrayView result = record.body.sliced(6, 8);
    if (quint8(result[6]) != 0xFF || quint8(result[7]) != 0xFF) {
        setNumber(cell, le16(record.body, 4), f64(record.body, 6));
        return;
    }
    switch (quint8(result[0])) {
    case 0: // text, in the STRING record that follows
        m_awaitingString = cell;
        break;
    case 1:
        m_sheet.set(cell.row, cell.column, booleanText(result[2] != 0));
        break;
    case 2:
        m_sheet.set(cell.row, cell.column, errorText(quint8(result[2])));
        break;
    case 3: // the empty text
        break;
    default:
        refuseFormulaWithoutResult(cell.row, cell.column);
    }
}

// The text result of the formula before it.
void SheetRecords::string(const BiffRecord &record)
{
    if (m_awaitingString) {
        m_sheet.set(m_awaitingString->row, m_awaitingString->column, ContinuedReader(record).unicodeString());
        m_awaitingString.reset();
    }
}

} // namespace

QString CellFormats::formatted(quint16 xf, double value) const
{
    const int id = xf < xfFormats.size() ? xfFormats[xf] : 0;
    return formattedNumber(value, numberFormat(id, formats.value(id)), date1904);
}

void readSheetCells(QByteArrayView stream, qsizetype start, const CellFormats &formats, SheetBuilder &sheet,
                    SharedStringCells &strings)
{
    SheetRecords(formats, sheet, strings).read(stream, start);
}

} // namespace workbook
