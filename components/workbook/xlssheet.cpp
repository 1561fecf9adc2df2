// The first sheet of an .xls workbook: its cell records, the older formula
// kinds included. Formula cells read as their stored results: an empty cell
// would end the caller's data.
#include "xlssheet.h"

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

// The first sheet's cell records into the builder. Cell records need not come
// in row order, so the whole sheet is read; the builder drops what lies below
// the kept rows.
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
    void cell(const BiffRecord &record);
    void formula(const BiffRecord &record, int row, int column);
    void position(const BiffRecord &record, int &row, int &column) const;
    void number(int row, int column, quint16 xf, double value)
    {
        m_sheet.set(row, column, m_formats.formatted(xf, value));
    }

    const CellFormats &m_formats;
    SheetBuilder &m_sheet;
    SharedStringCells &m_strings;
    // A formula whose text result follows in a STRING record.
    bool m_pendingString = false;
    int m_pendingRow = 0;
    int m_pendingColumn = 0;
};

void SheetRecords::read(QByteArrayView stream, qsizetype start)
{
    BiffRecordStream records(stream, start);
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
