// Office Open XML workbooks (.xlsx/.xlsm), read straight from the package's
// parts: the relationships lead from the package to the workbook part, and
// from there to the first sheet and the parts its cells refer to, whose cells
// xlsxcells.cpp reads.
#include "sheetreaders.h"
#include "xmlscanner.h"
#include "ziparchive.h"

#include <QHash>

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

// The workbook part the package's relationships name, or where they are
// missing or damaged, the part at its usual place.
QString findWorkbookPart(const ZipArchive &zip)
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
    return workbookPart;
}

// What the workbook part tells of the workbook: the relationship of its first
// <sheet>, which is the first sheet in tab order, and its date system.
struct WorkbookFacts
{
    QString firstSheetId;
    bool date1904 = false;
};

WorkbookFacts readWorkbookPart(const ZipArchive &zip, const QString &part)
{
    WorkbookFacts facts;
    const QByteArray bytes = zip.read(part);
    XmlScanner xml(bytes, part);
    // The main namespace's element, not the extensions' x14:workbookPr
    // and x15:workbookPr, which know nothing of the date system.
    QByteArray workbookPr;
    while (xml.next() != XmlScanner::EndDocument) {
        if (xml.token() != XmlScanner::StartElement)
            continue;
        if (workbookPr.isNull())
            workbookPr = mainPrefix(xml) + "workbookPr";
        if (xml.qualifiedName() == workbookPr) {
            const QByteArrayView value = xml.rawAttribute("date1904");
            facts.date1904 = value == "1" || value == "true";
        } else if (xml.name() == "sheet" && facts.firstSheetId.isEmpty()) {
            facts.firstSheetId = xml.prefixedAttribute("id");
            if (facts.firstSheetId.isEmpty())
                refuseDamaged(QStringLiteral("Blatt ohne Verweis"));
        }
    }
    return facts;
}

// The parts the workbook part's relationships name: the first sheet's, the
// shared strings', the styles'.
XlsxParts findSheetParts(const ZipArchive &zip, const QString &workbookPart, const QString &firstSheetId)
{
    XlsxParts parts;
    const auto rels = readRelationships(zip, workbookPart);
    for (auto it = rels.cbegin(); it != rels.cend(); ++it) {
        if (it.key() == firstSheetId) {
            if (!it->type.endsWith(u"/worksheet"))
                refuse(QStringLiteral("Das erste Blatt der Arbeitsmappe ist kein Tabellenblatt."));
            parts.sheet = it->target;
        } else if (it->type.endsWith(u"/sharedStrings")) {
            parts.sharedStrings = it->target;
        } else if (it->type.endsWith(u"/styles")) {
            parts.styles = it->target;
        }
    }
    if (parts.sheet.isEmpty())
        refuseDamaged(QStringLiteral("Verweis „%1“ auf das erste Blatt fehlt").arg(firstSheetId));
    return parts;
}

} // namespace

Worksheet readXlsx(const ZipArchive &zip, int lastRow)
{
    const QString workbookPart = findWorkbookPart(zip);
    const WorkbookFacts workbook = readWorkbookPart(zip, workbookPart);
    if (workbook.firstSheetId.isEmpty())
        refuse(QStringLiteral("Die Arbeitsmappe enthält kein Tabellenblatt."));
    return readXlsxCells(zip, findSheetParts(zip, workbookPart, workbook.firstSheetId), workbook.date1904, lastRow);
}

} // namespace workbook
