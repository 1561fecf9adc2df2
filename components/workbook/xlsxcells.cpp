// The cells of an xlsx workbook's first sheet: the sheet part read as far as
// the kept rows go, the shared strings its kept cells use, and the cell
// formats that tell dates and elapsed times from plain numbers.
#include "sheetreaders.h"
#include "xmlscanner.h"
#include "ziparchive.h"

#include <QHash>

#include <charconv>
#include <string>
#include <vector>

namespace workbook {

namespace {

// OOXML escapes characters that XML cannot carry as _xHHHH_.
QString decodeEscapes(QString text)
{
    qsizetype pos = 0;
    while ((pos = text.indexOf(u"_x", pos)) >= 0) {
        if (pos + 7 <= text.size() && text[pos + 6] == u'_') {
            bool ok = false;
            const uint code = text.mid(pos + 2, 4).toUInt(&ok, 16);
            if (ok) {
                text.replace(pos, 7, QChar(char16_t(code)));
                ++pos;
                continue;
            }
        }
        pos += 2;
    }
    return text;
}

// The text of a shared or inline string item: its <t> pieces, without the
// phonetic runs.
QString readStringItem(XmlScanner &xml)
{
    QString text;
    const int level = xml.depth();
    while (xml.nextStartElementWithin(level)) {
        if (xml.name() == "t")
            appendCapped(text, xml.readElementText());
        else if (xml.name() == "rPh")
            xml.skipElement();
    }
    return decodeEscapes(text);
}

// Sets the text cells from the shared-string part, read only as far as the
// highest index they use: a large workbook's part holds a string for nearly
// every cell, the needed rows use its first few.
void setSharedStrings(const ZipArchive &zip, const QString &part, const SharedStringCells &cells,
                      SheetBuilder &sheet)
{
    std::optional<XmlScanner> xml; // opened at the first string a cell uses
    cells.setCells(sheet, [&](bool keep) -> std::optional<QString> {
        if (!xml && !part.isEmpty())
            xml.emplace(zip.stream(part), part);
        while (xml && xml->next() != XmlScanner::EndDocument) {
            if (xml->token() != XmlScanner::StartElement || xml->name() != "si")
                continue;
            if (keep)
                return readStringItem(*xml);
            xml->skipElement();
            return QString();
        }
        return std::nullopt;
    });
}

// For each cell format (the s attribute of a cell): how it shows a number.
std::vector<NumberFormat> readNumberFormats(const ZipArchive &zip, const QString &part)
{
    std::vector<NumberFormat> formats;
    if (part.isEmpty())
        return formats;
    QHash<int, QString> customFormats;
    const QByteArray bytes = zip.read(part);
    XmlScanner xml(bytes, part);
    bool inCellXfs = false;
    while (xml.next() != XmlScanner::EndDocument) {
        if (xml.token() == XmlScanner::StartElement) {
            if (xml.name() == "numFmt") {
                customFormats.insert(xml.intAttribute("numFmtId", -1), xml.attribute("formatCode"));
            } else if (xml.name() == "cellXfs") {
                inCellXfs = true;
            } else if (inCellXfs && xml.name() == "xf") {
                const int id = xml.intAttribute("numFmtId", 0);
                formats.push_back(numberFormat(id, customFormats.value(id)));
            }
        } else if (xml.token() == XmlScanner::EndElement && xml.name() == "cellXfs") {
            inCellXfs = false;
        }
    }
    return formats;
}

QByteArrayView trimmedBytes(QByteArrayView bytes)
{
    while (!bytes.isEmpty() && (bytes.front() == ' ' || bytes.front() == '\t' || bytes.front() == '\n'))
        bytes = bytes.sliced(1);
    while (!bytes.isEmpty() && (bytes.back() == ' ' || bytes.back() == '\t' || bytes.back() == '\n'))
        bytes.chop(1);
    return bytes;
}

double parseNumber(QByteArrayView text, int row, int column)
{
    text = trimmedBytes(text);
    if (text.startsWith('+'))
        text = text.sliced(1);
    double value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (text.isEmpty() || error != std::errc() || end != text.data() + text.size())
        refuseDamaged(QStringLiteral("Zelle %1 enthält keine Zahl").arg(cellReference(row, column)));
    return value;
}

// What reading a cell takes besides its element: the cell formats, the date
// system, and the cells of shared strings, set once the sheet is read.
struct CellContext
{
    const std::vector<NumberFormat> &formats;
    bool date1904;
    SharedStringCells &strings;
};

void readCell(XmlScanner &xml, const CellContext &context, int row, int column, SheetBuilder &sheet)
{
    // Copies that outlive the scanner's window; short ones take no allocation.
    const QByteArrayView typeView = xml.rawAttribute("t");
    const std::string type(typeView.data(), size_t(typeView.size()));
    const int style = xml.intAttribute("s", 0);
    bool hasFormula = false;
    bool hasValue = false;
    std::string raw; // the <v> text as UTF-8
    QString inlineText;
    const int level = xml.depth();
    while (xml.nextStartElementWithin(level)) {
        if (xml.name() == "v") {
            hasValue = true;
            QString text;
            if (!xml.readElementText(raw, text))
                raw = text.toStdString();
        } else if (xml.name() == "f") {
            hasFormula = true;
            xml.skipElement();
        } else if (xml.name() == "is") {
            hasValue = true;
            inlineText = readStringItem(xml);
        } else {
            xml.skipElement();
        }
    }

    if (type == "inlineStr") {
        sheet.set(row, column, inlineText);
        return;
    }
    // A formula result that was never calculated must not read as an empty cell:
    // the caller would take it for the end of the data. An empty string result
    // (t="str") is stored as an empty <v>.
    if (hasFormula && (!hasValue || (raw.empty() && type != "str")))
        refuseFormulaWithoutResult(row, column);
    if (!hasValue)
        return;

    if (type == "s") {
        const QByteArrayView digits = trimmedBytes(raw);
        if (digits.isEmpty())
            return; // <v/>: other readers show an empty cell, and so do we
        size_t index = 0;
        const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), index);
        if (error != std::errc() || end != digits.data() + digits.size())
            refuseDamaged(QStringLiteral("Zelle %1 verweist auf einen fehlenden Text").arg(cellReference(row, column)));
        context.strings.add(row, column, index);
    } else if (type == "str" || type == "e") {
        sheet.set(row, column, decodeEscapes(QString::fromStdString(raw)));
    } else if (type == "b") {
        const QByteArrayView v = trimmedBytes(raw);
        sheet.set(row, column, booleanText(v == "1" || v == "true"));
    } else if (type == "d") {
        sheet.set(row, column, isoDateTimeText(QString::fromUtf8(trimmedBytes(raw))));
    } else if (!trimmedBytes(raw).isEmpty()) {
        const double number = parseNumber(raw, row, column);
        const bool styled = style >= 0 && size_t(style) < context.formats.size();
        sheet.set(row, column, formattedNumber(number, styled ? context.formats[style] : NumberFormat(), context.date1904));
    }
}

// Rows come in ascending order: reading ends at the first one below the kept rows.
void readSheetData(const ZipArchive &zip, const QString &part, const CellContext &context, SheetBuilder &sheet)
{
    XmlScanner xml(zip.stream(part), part);
    int row = 0;
    int column = 0;
    while (xml.next() != XmlScanner::EndDocument) {
        if (xml.token() != XmlScanner::StartElement)
            continue;
        if (xml.name() == "row") {
            const QByteArrayView r = xml.rawAttribute("r");
            if (r.isEmpty()) {
                ++row;
            } else {
                bool ok = false;
                row = r.toByteArray().toInt(&ok);
                if (!ok || row < 1 || row > kMaxRows)
                    refuseDamaged(QStringLiteral("Zeilennummer „%1“").arg(QString::fromUtf8(r)));
            }
            if (!sheet.keeps(row))
                return;
            column = 0;
        } else if (xml.name() == "c") {
            const QString ref = QString::fromUtf8(xml.rawAttribute("r"));
            if (ref.isEmpty()) {
                ++column;
            } else {
                int cellRow = 0;
                if (!parseCellReference(ref, cellRow, column))
                    refuseDamaged(QStringLiteral("Zellbezug „%1“").arg(ref));
                row = cellRow;
            }
            if (row < 1 || column < 1 || column > kMaxColumns)
                refuseDamaged(QStringLiteral("Zelle ohne gültige Lage"));
            if (sheet.keeps(row, column))
                readCell(xml, context, row, column, sheet);
            else
                xml.skipElement();
        }
    }
}

} // namespace

Worksheet readXlsxCells(const ZipArchive &zip, const XlsxParts &parts, bool date1904, int lastRow)
{
    const std::vector<NumberFormat> formats = readNumberFormats(zip, parts.styles);
    SharedStringCells strings;
    SheetBuilder sheet(lastRow);
    readSheetData(zip, parts.sheet, {formats, date1904, strings}, sheet);
    setSharedStrings(zip, parts.sharedStrings, strings, sheet);
    return sheet.take();
}

} // namespace workbook
