// Office Open XML workbooks (.xlsx/.xlsm), read straight from the package's
// parts: the first sheet, its shared strings and the cell formats that tell
// dates and elapsed times from plain numbers.
#include "sheetreaders.h"
#include "xmlscanner.h"
#include "ziparchive.h"

#include <QHash>

#include <algorithm>
#include <charconv>
#include <string>
#include <vector>

namespace workbook {

namespace {

// Resolves a relationship target against the folder of the part that owns it.
// openpyxl writes absolute targets ("/xl/worksheets/sheet1.xml"), Excel relative ones.
QString resolveTarget(const QString &ownerFolder, QString target)
{
    target.replace(u'\\', u'/');
    QStringList parts;
    if (!target.startsWith(u'/'))
        parts = ownerFolder.split(u'/', Qt::SkipEmptyParts);
    for (const QString &piece : target.split(u'/', Qt::SkipEmptyParts)) {
        if (piece == u"..") {
            if (!parts.isEmpty())
                parts.removeLast();
        } else if (piece != u".") {
            parts.append(piece);
        }
    }
    return parts.join(u'/');
}

QString folderOf(const QString &part)
{
    const qsizetype slash = part.lastIndexOf(u'/');
    return slash < 0 ? QString() : part.left(slash);
}

QString relsPathOf(const QString &part)
{
    const QString folder = folderOf(part);
    const QString file = part.mid(folder.isEmpty() ? 0 : folder.size() + 1);
    return (folder.isEmpty() ? QString() : folder + QLatin1Char('/')) + QStringLiteral("_rels/") + file + QStringLiteral(".rels");
}

struct Relationship
{
    QString type;
    QString target;
};

QHash<QString, Relationship> readRelationships(const ZipArchive &zip, const QString &owner)
{
    const QString relsPath = relsPathOf(owner);
    QHash<QString, Relationship> rels;
    const QByteArray bytes = zip.read(relsPath, false);
    if (bytes.isEmpty())
        return rels;
    XmlScanner xml(bytes, relsPath);
    while (xml.next() != XmlScanner::EndDocument) {
        if (xml.token() == XmlScanner::StartElement && xml.name() == "Relationship") {
            if (xml.rawAttribute("TargetMode") == "External")
                continue;
            rels.insert(xml.attribute("Id"),
                        {xml.attribute("Type"), resolveTarget(folderOf(owner), xml.attribute("Target"))});
        }
    }
    return rels;
}

// The prefix the part binds to the spreadsheet namespace (transitional or
// strict) with its ':', or none when it is the default namespace.
QByteArray mainPrefix(const XmlScanner &xml)
{
    const QByteArray prefix = xml.prefixFor("http://schemas.openxmlformats.org/spreadsheetml/2006/main");
    return prefix.isEmpty() ? xml.prefixFor("http://purl.oclc.org/ooxml/spreadsheetml/main") : prefix;
}

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

struct SheetContext
{
    const std::vector<NumberFormat> &formats;
    bool date1904;
    SharedStringCells &strings;
};

void readCell(XmlScanner &xml, const SheetContext &ctx, int row, int column, SheetBuilder &sheet)
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
        ctx.strings.add(row, column, index);
    } else if (type == "str" || type == "e") {
        sheet.set(row, column, decodeEscapes(QString::fromStdString(raw)));
    } else if (type == "b") {
        const QByteArrayView v = trimmedBytes(raw);
        sheet.set(row, column, booleanText(v == "1" || v == "true"));
    } else if (type == "d") {
        sheet.set(row, column, isoDateTimeText(QString::fromUtf8(trimmedBytes(raw))));
    } else if (!trimmedBytes(raw).isEmpty()) {
        const double number = parseNumber(raw, row, column);
        const bool styled = style >= 0 && size_t(style) < ctx.formats.size();
        sheet.set(row, column, formattedNumber(number, styled ? ctx.formats[style] : NumberFormat(), ctx.date1904));
    }
}

// Rows come in ascending order: reading ends at the first one below the kept rows.
void readSheetData(const ZipArchive &zip, const QString &part, const SheetContext &ctx, SheetBuilder &sheet)
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
                readCell(xml, ctx, row, column, sheet);
            else
                xml.skipElement();
        }
    }
}

} // namespace

namespace {

constexpr QByteArrayView kOdsMediaType = "application/vnd.oasis.opendocument.spreadsheet";

// Whether an OpenDocument manifest says the package as a whole is a spreadsheet.
bool manifestNamesSpreadsheet(const ZipArchive &zip)
{
    const QString part = QStringLiteral("META-INF/manifest.xml");
    const QByteArray bytes = zip.read(part, false);
    if (bytes.isEmpty())
        return false;
    XmlScanner xml(bytes, part);
    while (xml.next() != XmlScanner::EndDocument) {
        if (xml.token() == XmlScanner::StartElement && xml.name() == "file-entry"
            && xml.prefixedAttribute("full-path") == u"/")
            return xml.prefixedAttribute("media-type").toUtf8().startsWith(kOdsMediaType);
    }
    return false;
}

} // namespace

Worksheet readZipPackage(const QByteArray &data, int lastRow)
{
    ZipArchive zip(data);
    const QByteArray mimetype = zip.read(QStringLiteral("mimetype"), false).trimmed();
    if (mimetype.startsWith(kOdsMediaType) || (mimetype.isEmpty() && manifestNamesSpreadsheet(zip)))
        return readOds(zip, lastRow);
    if (!mimetype.isEmpty())
        refuse(QStringLiteral("Die Datei ist ein OpenDocument-Dokument, aber keine Tabelle (%1).")
                   .arg(QString::fromUtf8(mimetype.left(80))));
    if (zip.contains(QStringLiteral("xl/workbook.xml")) || zip.contains(QStringLiteral("xl/workbook.bin"))
        || zip.contains(QStringLiteral("_rels/.rels")))
        return readXlsx(zip, lastRow);
    refuse(QStringLiteral("Die Datei ist ein ZIP-Archiv, aber keine Arbeitsmappe."));
}

Worksheet readXlsx(const ZipArchive &zip, int lastRow)
{
    QString workbookPart;
    try {
        for (const Relationship &rel : readRelationships(zip, QString())) {
            if (rel.type.endsWith(u"/officeDocument"))
                workbookPart = rel.target;
        }
    } catch (const ReadError &) {
        // A damaged package index: the workbook part at its usual place serves, as elsewhere.
    }
    if (workbookPart.isEmpty() || !zip.contains(workbookPart))
        workbookPart = QStringLiteral("xl/workbook.xml");
    if (!zip.contains(workbookPart)) {
        if (zip.contains(QStringLiteral("xl/workbook.bin")))
            refuse(QStringLiteral("Das Binärformat .xlsb wird nicht unterstützt. Bitte als .xlsx speichern."));
        refuseDamaged(QStringLiteral("Teil „xl/workbook.xml“ fehlt"));
    }

    // The first <sheet> of the workbook part is the first sheet in tab order.
    QString firstSheetId;
    bool date1904 = false;
    {
        const QByteArray bytes = zip.read(workbookPart);
        XmlScanner xml(bytes, workbookPart);
        // The main namespace's element, not the extensions' x14:workbookPr
        // and x15:workbookPr, which know nothing of the date system.
        QByteArray workbookPr;
        while (xml.next() != XmlScanner::EndDocument) {
            if (xml.token() != XmlScanner::StartElement)
                continue;
            if (workbookPr.isNull())
                workbookPr = mainPrefix(xml) + "workbookPr";
            if (xml.qualifiedName() == workbookPr) {
                const QByteArrayView v = xml.rawAttribute("date1904");
                date1904 = v == "1" || v == "true";
            } else if (xml.name() == "sheet" && firstSheetId.isEmpty()) {
                firstSheetId = xml.prefixedAttribute("id");
                if (firstSheetId.isEmpty())
                    refuseDamaged(QStringLiteral("Blatt ohne Verweis"));
            }
        }
    }
    if (firstSheetId.isEmpty())
        refuse(QStringLiteral("Die Arbeitsmappe enthält kein Tabellenblatt."));

    QString sheetPart;
    QString sharedStringsPart;
    QString stylesPart;
    const auto rels = readRelationships(zip, workbookPart);
    for (auto it = rels.cbegin(); it != rels.cend(); ++it) {
        if (it.key() == firstSheetId) {
            if (!it->type.endsWith(u"/worksheet"))
                refuse(QStringLiteral("Das erste Blatt der Arbeitsmappe ist kein Tabellenblatt."));
            sheetPart = it->target;
        } else if (it->type.endsWith(u"/sharedStrings")) {
            sharedStringsPart = it->target;
        } else if (it->type.endsWith(u"/styles")) {
            stylesPart = it->target;
        }
    }
    if (sheetPart.isEmpty())
        refuseDamaged(QStringLiteral("Verweis „%1“ auf das erste Blatt fehlt").arg(firstSheetId));

    const std::vector<NumberFormat> formats = readNumberFormats(zip, stylesPart);
    SharedStringCells strings;
    SheetBuilder sheet(lastRow);
    readSheetData(zip, sheetPart, {formats, date1904, strings}, sheet);
    setSharedStrings(zip, sharedStringsPart, strings, sheet);
    return sheet.take();
}

} // namespace workbook
