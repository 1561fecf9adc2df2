// Office Open XML workbooks (.xlsx/.xlsm), read straight from the package:
// the packaged import library drops inline strings and sheets behind absolute
// relationship targets without a word, so the parts are parsed here.
#include "sheetreaders.h"
#include "ziparchive.h"

#include <QDateTime>
#include <QHash>
#include <QXmlStreamReader>

#include <vector>

namespace workbook {

namespace {

void checkXml(const QXmlStreamReader &xml, const QString &part)
{
    if (xml.hasError())
        refuseDamaged(QStringLiteral("Teil „%1“: %2").arg(part, xml.errorString()));
}

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
    QXmlStreamReader xml(bytes);
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"Relationship") {
            const auto attrs = xml.attributes();
            if (attrs.value(QLatin1String("TargetMode")) == u"External")
                continue;
            rels.insert(attrs.value(QLatin1String("Id")).toString(),
                        {attrs.value(QLatin1String("Type")).toString(),
                         resolveTarget(folderOf(owner), attrs.value(QLatin1String("Target")).toString())});
        }
    }
    checkXml(xml, relsPath);
    return rels;
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
QString readStringItem(QXmlStreamReader &xml)
{
    QString text;
    int depth = 1;
    int phoneticDepth = 0;
    while (depth > 0 && !xml.atEnd()) {
        switch (xml.readNext()) {
        case QXmlStreamReader::StartElement:
            ++depth;
            if (xml.name() == u"rPh")
                phoneticDepth = depth;
            else if (xml.name() == u"t" && phoneticDepth == 0) {
                text += xml.readElementText(QXmlStreamReader::IncludeChildElements);
                --depth; // readElementText() consumed the end tag
            }
            break;
        case QXmlStreamReader::EndElement:
            if (depth == phoneticDepth)
                phoneticDepth = 0;
            --depth;
            break;
        default:
            break;
        }
    }
    return decodeEscapes(text);
}

std::vector<QString> readSharedStrings(const ZipArchive &zip, const QString &part)
{
    std::vector<QString> strings;
    if (part.isEmpty())
        return strings;
    QXmlStreamReader xml(zip.read(part));
    while (!xml.atEnd()) {
        if (xml.readNext() == QXmlStreamReader::StartElement && xml.name() == u"si")
            strings.push_back(readStringItem(xml));
    }
    checkXml(xml, part);
    return strings;
}

// For each cell format (the s attribute of a cell): whether it shows a date.
std::vector<bool> readDateStyles(const ZipArchive &zip, const QString &part)
{
    std::vector<bool> dateStyles;
    if (part.isEmpty())
        return dateStyles;
    QHash<int, QString> customFormats;
    QXmlStreamReader xml(zip.read(part));
    bool inCellXfs = false;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::StartElement) {
            if (xml.name() == u"numFmt") {
                customFormats.insert(xml.attributes().value(QLatin1String("numFmtId")).toInt(),
                                     xml.attributes().value(QLatin1String("formatCode")).toString());
            } else if (xml.name() == u"cellXfs") {
                inCellXfs = true;
            } else if (inCellXfs && xml.name() == u"xf") {
                const int id = xml.attributes().value(QLatin1String("numFmtId")).toInt();
                dateStyles.push_back(isDateFormat(id, customFormats.value(id)));
            }
        } else if (token == QXmlStreamReader::EndElement && xml.name() == u"cellXfs") {
            inCellXfs = false;
        }
    }
    checkXml(xml, part);
    return dateStyles;
}

double parseNumber(QStringView text, int row, int column)
{
    bool ok = false;
    const double value = text.trimmed().toDouble(&ok);
    if (!ok)
        refuseDamaged(QStringLiteral("Zelle %1 enthält keine Zahl").arg(cellName(row, column)));
    return value;
}

QString isoDateText(QStringView iso)
{
    // t="d" cells carry ISO 8601 text.
    const QDateTime dt = QDateTime::fromString(iso.toString(), Qt::ISODateWithMs);
    if (dt.isValid()) {
        const QString date = dt.date().toString(QStringLiteral("dd.MM.yyyy"));
        return dt.time() == QTime(0, 0) ? date : date + dt.time().toString(QStringLiteral(" hh:mm:ss"));
    }
    const QDate date = QDate::fromString(iso.toString(), Qt::ISODate);
    if (date.isValid())
        return date.toString(QStringLiteral("dd.MM.yyyy"));
    return iso.toString();
}

struct SheetContext
{
    const std::vector<QString> &sharedStrings;
    const std::vector<bool> &dateStyles;
    bool date1904;
};

void readCell(QXmlStreamReader &xml, const SheetContext &ctx, int row, int column, SheetBuilder &sheet)
{
    const QString type = xml.attributes().value(QLatin1String("t")).toString();
    const int style = xml.attributes().value(QLatin1String("s")).toInt();
    bool hasFormula = false;
    bool hasValue = false;
    QString value;
    QString inlineText;
    while (!xml.atEnd()) {
        const auto token = xml.readNext();
        if (token == QXmlStreamReader::EndElement && xml.name() == u"c")
            break;
        if (token != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"v") {
            hasValue = true;
            value = xml.readElementText(QXmlStreamReader::IncludeChildElements);
        } else if (xml.name() == u"f") {
            hasFormula = true;
            xml.skipCurrentElement();
        } else if (xml.name() == u"is") {
            hasValue = true;
            inlineText = readStringItem(xml);
        } else {
            xml.skipCurrentElement();
        }
    }

    if (type == u"inlineStr") {
        sheet.set(row, column, inlineText);
        return;
    }
    // A formula result that was never calculated must not read as an empty cell:
    // the caller would take it for the end of the data. An empty string result
    // (t="str") is stored as an empty <v>.
    if (hasFormula && (!hasValue || (value.isEmpty() && type != u"str")))
        refuseFormulaWithoutResult(row, column);
    if (!hasValue)
        return;

    if (type == u"s") {
        bool ok = false;
        const qulonglong index = value.trimmed().toULongLong(&ok);
        if (!ok || index >= ctx.sharedStrings.size())
            refuseDamaged(QStringLiteral("Zelle %1 verweist auf einen fehlenden Text").arg(cellName(row, column)));
        sheet.set(row, column, ctx.sharedStrings[index]);
    } else if (type == u"str" || type == u"e") {
        sheet.set(row, column, decodeEscapes(value));
    } else if (type == u"b") {
        sheet.set(row, column, booleanText(value.trimmed() == u"1" || value.trimmed() == u"true"));
    } else if (type == u"d") {
        sheet.set(row, column, isoDateText(value.trimmed()));
    } else if (!value.trimmed().isEmpty()) {
        const double number = parseNumber(value, row, column);
        const bool isDate = style >= 0 && size_t(style) < ctx.dateStyles.size() && ctx.dateStyles[style];
        sheet.set(row, column, isDate ? serialDateText(number, ctx.date1904) : numberText(number));
    }
}

void readSheetData(const QByteArray &bytes, const QString &part, const SheetContext &ctx, SheetBuilder &sheet)
{
    QXmlStreamReader xml(bytes);
    int row = 0;
    int column = 0;
    while (!xml.atEnd()) {
        if (xml.readNext() != QXmlStreamReader::StartElement)
            continue;
        if (xml.name() == u"row") {
            const auto r = xml.attributes().value(QLatin1String("r"));
            if (r.isEmpty()) {
                ++row;
            } else {
                bool ok = false;
                row = r.toInt(&ok);
                if (!ok || row < 1 || row > kMaxRows)
                    refuseDamaged(QStringLiteral("Zeilennummer „%1“").arg(r.toString()));
            }
            column = 0;
        } else if (xml.name() == u"c") {
            const auto ref = xml.attributes().value(QLatin1String("r"));
            if (ref.isEmpty()) {
                ++column;
            } else {
                int cellRow = 0;
                if (!parseCellName(ref, cellRow, column))
                    refuseDamaged(QStringLiteral("Zellbezug „%1“").arg(ref.toString()));
                row = cellRow;
            }
            if (row < 1 || column < 1 || column > kMaxColumns)
                refuseDamaged(QStringLiteral("Zelle ohne gültige Lage"));
            readCell(xml, ctx, row, column, sheet);
        }
    }
    checkXml(xml, part);
}

} // namespace

Worksheet readZipPackage(const QByteArray &data)
{
    ZipArchive zip(data);
    const QByteArray mimetype = zip.read(QStringLiteral("mimetype"), false).trimmed();
    if (mimetype.startsWith("application/vnd.oasis.opendocument.spreadsheet"))
        return readOds(zip);
    if (!mimetype.isEmpty())
        refuse(QStringLiteral("Die Datei ist ein OpenDocument-Dokument, aber keine Tabelle (%1).")
                   .arg(QString::fromUtf8(mimetype.left(80))));
    if (zip.contains(QStringLiteral("xl/workbook.xml")) || zip.contains(QStringLiteral("xl/workbook.bin"))
        || zip.contains(QStringLiteral("_rels/.rels")))
        return readXlsx(zip);
    refuse(QStringLiteral("Die Datei ist ein ZIP-Archiv, aber keine Arbeitsmappe."));
}

Worksheet readXlsx(const ZipArchive &zip)
{

    QString workbookPart;
    for (const Relationship &rel : readRelationships(zip, QString())) {
        if (rel.type.endsWith(u"/officeDocument"))
            workbookPart = rel.target;
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
        QXmlStreamReader xml(zip.read(workbookPart));
        while (!xml.atEnd()) {
            if (xml.readNext() != QXmlStreamReader::StartElement)
                continue;
            if (xml.name() == u"workbookPr") {
                const auto v = xml.attributes().value(QLatin1String("date1904"));
                date1904 = v == u"1" || v == u"true";
            } else if (xml.name() == u"sheet" && firstSheetId.isEmpty()) {
                for (const auto &attr : xml.attributes()) {
                    if (attr.name() == u"id" && !attr.namespaceUri().isEmpty())
                        firstSheetId = attr.value().toString();
                }
                if (firstSheetId.isEmpty())
                    refuseDamaged(QStringLiteral("Blatt ohne Verweis"));
            }
        }
        checkXml(xml, workbookPart);
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

    const std::vector<QString> sharedStrings = readSharedStrings(zip, sharedStringsPart);
    const std::vector<bool> dateStyles = readDateStyles(zip, stylesPart);
    SheetBuilder sheet;
    readSheetData(zip.read(sheetPart), sheetPart, {sharedStrings, dateStyles, date1904}, sheet);
    return sheet.take();
}

} // namespace workbook
