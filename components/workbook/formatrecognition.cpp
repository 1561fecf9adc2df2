// Which reader reads a workbook, recognised from its content, not its name:
// the first bytes tell a zip package, an .xls file and text apart, and a zip
// package's members tell an OpenDocument spreadsheet from an xlsx workbook.
#include "sheetreaders.h"
#include "xmlscanner.h"
#include "ziparchive.h"

namespace workbook {

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

Format recogniseFormat(QByteArrayView data)
{
    if (data.startsWith("PK\x03\x04") || data.startsWith("PK\x05\x06"))
        return Format::Zip; // xlsx or ods: told apart by the members
    if (data.startsWith("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"))
        return Format::Xls;
    // Excel 2.x-4.x: a bare BOF record (the reader refuses them by name).
    if (data.size() >= 4 && data[0] == '\x09' && (data[1] == 0 || data[1] == 2 || data[1] == 4) && data[3] == 0)
        return Format::Xls;
    return Format::Csv;
}

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

} // namespace workbook
