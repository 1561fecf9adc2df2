// Excel 97-2003 workbooks (.xls): the Workbook stream of the compound file,
// its BIFF8 records read with every length and offset checked. Here the
// workbook globals: the cell formats, the first sheet, the shared strings; the
// sheet's cells in xlssheet.cpp.
#include "compoundfile.h"
#include "sheetreaders.h"
#include "xlssheet.h"

#include <optional>

namespace workbook {

namespace {

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

struct Globals
{
    // The shared-string table, read once the sheet says which strings it
    // uses; a workbook has one, and a second would only cost memory.
    std::optional<BiffRecord> sharedStrings;
    CellFormats cellFormats;
    std::optional<quint32> firstSheetPos;
    quint8 firstSheetType = 0;
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
        case RecordType::Eof:
            return globals;
        case RecordType::DateMode:
            need(record, 2);
            globals.cellFormats.date1904 = le16(record.body, 0) == 1;
            break;
        case RecordType::Xf:
            need(record, 4);
            globals.cellFormats.xfFormats.push_back(le16(record.body, 2));
            break;
        case RecordType::Format: {
            need(record, 2);
            ContinuedReader reader(record, 2);
            // A number format holds at most 255 characters; a longer one
            // would only cost memory, up to 65,536 of them.
            globals.cellFormats.formats.insert(le16(record.body, 0), reader.unicodeString().left(255));
            break;
        }
        case RecordType::BoundSheet:
            need(record, 6);
            if (!globals.firstSheetPos) {
                globals.firstSheetPos = le32(record.body, 0);
                globals.firstSheetType = quint8(record.body[5]);
            }
            break;
        case RecordType::Sst:
            need(record, 8);
            if (!globals.sharedStrings)
                globals.sharedStrings = record;
            break;
        default:
            break;
        }
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
    readSheetCells(stream, qsizetype(*globals.firstSheetPos), globals.cellFormats, sheet, strings);
    setSharedStrings(globals.sharedStrings, strings, sheet);
    return sheet.take();
}

} // namespace workbook
