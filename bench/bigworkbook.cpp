// Writes very tall workbooks in the district layout and opens them the way the
// runs do, printing time and peak memory. One process per measurement, so the
// peak belongs to that opening alone.
//
//   tarvel_bigworkbook write xlsx|xlsx-inline|ods|csv PATH ROWS
//   tarvel_bigworkbook open PATH
#include "failure.h"
#include "spreadsheet.h"
#include "workbookrows.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <xlsxwriter.h>
#include <zip.h>

#include <sys/resource.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

[[noreturn]] void fail(const std::string &message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
    std::exit(1);
}

// The district layout with two trailing columns: a repeating remark and an area.
const std::vector<std::string> kHeadings{"Nr", "Lfdnr", "frei", "Revier", "Verbiss", "Änderung", "Jahr", "Bemerkung",
                                         "Fläche"};

struct Cell
{
    bool text;
    std::string value; // empty: no cell
};

std::string numbered(std::string prefix, long n)
{
    return prefix.append(std::to_string(n));
}

std::vector<Cell> dataRow(long i)
{
    std::string area = std::to_string(i / 4);
    if (i % 4)
        area.append(".").append(std::to_string(i % 4 * 25));
    return {{true, numbered("Z", i)},
            {false, std::to_string(i)},
            {false, ""},
            {true, numbered("Revier ", i)},
            {false, std::to_string(i % 4 + 1)},
            {false, std::to_string(i % 4)},
            {false, "2021"},
            {true, numbered("Bemerkung ", i % 100)},
            {false, area}};
}

std::vector<Cell> row(long i)
{
    if (i > 0)
        return dataRow(i);
    std::vector<Cell> headings;
    for (const std::string &h : kHeadings)
        headings.push_back({true, h});
    return headings;
}

std::string columnName(size_t column)
{
    std::string letters;
    for (size_t c = column + 1; c > 0; c = (c - 1) / 26)
        letters.insert(letters.begin(), char('A' + (c - 1) % 26));
    return letters;
}

class Output
{
public:
    explicit Output(const std::string &path)
        : m_file(std::fopen(path.c_str(), "wb"))
    {
        if (!m_file)
            fail("cannot write " + path);
    }
    ~Output()
    {
        if (m_file)
            std::fclose(m_file);
    }
    Output &operator<<(const std::string &text)
    {
        std::fwrite(text.data(), 1, text.size(), m_file);
        return *this;
    }
    void close()
    {
        if (std::fclose(std::exchange(m_file, nullptr)) != 0)
            fail("write error");
    }

private:
    FILE *m_file;
};

// A zip package from files and literal members; members are added in order.
class Package
{
public:
    explicit Package(const std::string &path)
    {
        int error = 0;
        m_zip = zip_open(path.c_str(), ZIP_CREATE | ZIP_TRUNCATE, &error);
        if (!m_zip)
            fail("cannot create " + path);
    }
    void addText(const char *name, std::string text, bool stored = false)
    {
        m_texts.push_back(std::move(text));
        const std::string &kept = m_texts.back();
        add(name, zip_source_buffer(m_zip, kept.data(), kept.size(), 0), stored);
    }
    void addFile(const char *name, const std::string &file)
    {
        add(name, zip_source_file(m_zip, file.c_str(), 0, -1), false);
    }
    void close()
    {
        if (zip_close(m_zip) != 0)
            fail(std::string("zip: ") + zip_strerror(m_zip));
    }

private:
    void add(const char *name, zip_source_t *source, bool stored)
    {
        const zip_int64_t index = source ? zip_file_add(m_zip, name, source, ZIP_FL_ENC_UTF_8) : -1;
        if (index < 0 || (stored && zip_set_file_compression(m_zip, zip_uint64_t(index), ZIP_CM_STORE, 0) != 0))
            fail(std::string("zip: ") + zip_strerror(m_zip));
    }

    zip_t *m_zip;
    std::vector<std::string> m_texts{std::vector<std::string>()};
};

std::string xmlEscaped(const std::string &text)
{
    std::string out;
    for (char c : text)
        out += c == '&' ? "&amp;" : c == '<' ? "&lt;" : std::string(1, c);
    return out;
}

// Shared strings in order of first use, as spreadsheet programs write them.
void writeXlsx(const std::string &path, long rows, const std::string &temp)
{
    const std::string sheetFile = temp + "/sheet1.xml";
    const std::string stringsFile = temp + "/sharedStrings.xml";
    Output sheet(sheetFile);
    Output strings(stringsFile);
    sheet << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
             "<worksheet xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\"><sheetData>";
    long uses = 0;
    long unique = 0;
    std::vector<long> remarkIndex(100, -1);
    std::string stringItems;
    for (long i = 0; i <= rows; ++i) {
        const std::string r = std::to_string(i + 1);
        sheet << "<row r=\"" + r + "\">";
        const std::vector<Cell> cells = row(i);
        for (size_t c = 0; c < cells.size(); ++c) {
            const Cell &cell = cells[c];
            if (cell.value.empty())
                continue;
            const std::string ref = columnName(c) + r;
            if (!cell.text) {
                sheet << "<c r=\"" + ref + "\"><v>" + cell.value + "</v></c>";
                continue;
            }
            long index;
            long *known = i > 0 && c == 7 ? &remarkIndex[size_t(i % 100)] : nullptr;
            if (known && *known >= 0) {
                index = *known;
            } else {
                index = unique++;
                strings << "<si><t>" + xmlEscaped(cell.value) + "</t></si>";
                if (known)
                    *known = index;
            }
            ++uses;
            sheet << "<c r=\"" + ref + "\" t=\"s\"><v>" + std::to_string(index) + "</v></c>";
        }
        sheet << "</row>";
    }
    sheet << "</sheetData></worksheet>";
    sheet.close();
    strings << "</sst>";
    strings.close();

    // The <sst> head carries counts known only now: a second file in front.
    const std::string headFile = temp + "/sstHead.xml";
    Output head(headFile);
    head << "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
            "<sst xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" count=\""
                + std::to_string(uses) + "\" uniqueCount=\"" + std::to_string(unique) + "\">";
    head.close();
    const std::string joined = temp + "/sharedStringsJoined.xml";
    if (std::system(("cat '" + headFile + "' '" + stringsFile + "' > '" + joined + "'").c_str()) != 0)
        fail("cannot join shared strings");

    Package zip(path);
    zip.addText("[Content_Types].xml",
                "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
                "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
                "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
                "<Override PartName=\"/xl/workbook.xml\" "
                "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/>"
                "<Override PartName=\"/xl/worksheets/sheet1.xml\" "
                "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.worksheet+xml\"/>"
                "<Override PartName=\"/xl/sharedStrings.xml\" "
                "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sharedStrings+xml\"/>"
                "</Types>");
    zip.addText("_rels/.rels",
                "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                "officeDocument\" Target=\"xl/workbook.xml\"/></Relationships>");
    zip.addText("xl/workbook.xml",
                "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                "<workbook xmlns=\"http://schemas.openxmlformats.org/spreadsheetml/2006/main\" "
                "xmlns:r=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships\">"
                "<sheets><sheet name=\"Tabelle1\" sheetId=\"1\" r:id=\"rId1\"/></sheets></workbook>");
    zip.addText("xl/_rels/workbook.xml.rels",
                "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n"
                "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
                "<Relationship Id=\"rId1\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                "worksheet\" Target=\"worksheets/sheet1.xml\"/>"
                "<Relationship Id=\"rId2\" Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/"
                "sharedStrings\" Target=\"sharedStrings.xml\"/></Relationships>");
    zip.addFile("xl/worksheets/sheet1.xml", sheetFile);
    zip.addFile("xl/sharedStrings.xml", joined);
    zip.close();
}

// libxlsxwriter's constant-memory mode: inline strings, rows streamed out.
void writeXlsxInline(const std::string &path, long rows)
{
    lxw_workbook_options options = {};
    options.constant_memory = LXW_TRUE;
    lxw_workbook *wb = workbook_new_opt(path.c_str(), &options);
    lxw_worksheet *ws = workbook_add_worksheet(wb, nullptr);
    for (long i = 0; i <= rows; ++i) {
        const std::vector<Cell> cells = row(i);
        for (size_t c = 0; c < cells.size(); ++c) {
            const Cell &cell = cells[c];
            if (cell.value.empty())
                continue;
            if (cell.text)
                worksheet_write_string(ws, lxw_row_t(i), lxw_col_t(c), cell.value.c_str(), nullptr);
            else
                worksheet_write_number(ws, lxw_row_t(i), lxw_col_t(c), std::atof(cell.value.c_str()), nullptr);
        }
    }
    if (workbook_close(wb) != LXW_NO_ERROR)
        fail("libxlsxwriter failed on " + path);
}

void writeOds(const std::string &path, long rows, const std::string &temp)
{
    const std::string contentFile = temp + "/content.xml";
    Output content(contentFile);
    content << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
               "<office:document-content xmlns:office=\"urn:oasis:names:tc:opendocument:xmlns:office:1.0\" "
               "xmlns:table=\"urn:oasis:names:tc:opendocument:xmlns:table:1.0\" "
               "xmlns:text=\"urn:oasis:names:tc:opendocument:xmlns:text:1.0\" office:version=\"1.2\">"
               "<office:body><office:spreadsheet><table:table table:name=\"Tabelle1\">"
               "<table:table-column table:number-columns-repeated=\"9\"/>";
    for (long i = 0; i <= rows; ++i) {
        content << "<table:table-row>";
        for (const Cell &cell : row(i)) {
            if (cell.value.empty())
                content << "<table:table-cell/>";
            else if (cell.text)
                content << "<table:table-cell office:value-type=\"string\"><text:p>" + xmlEscaped(cell.value)
                               + "</text:p></table:table-cell>";
            else
                content << "<table:table-cell office:value-type=\"float\" office:value=\"" + cell.value
                               + "\"><text:p>" + cell.value + "</text:p></table:table-cell>";
        }
        content << "</table:table-row>";
    }
    content << "</table:table></office:spreadsheet></office:body></office:document-content>";
    content.close();

    Package zip(path);
    zip.addText("mimetype", "application/vnd.oasis.opendocument.spreadsheet", true);
    zip.addText("META-INF/manifest.xml",
                "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                "<manifest:manifest xmlns:manifest=\"urn:oasis:names:tc:opendocument:xmlns:manifest:1.0\" "
                "manifest:version=\"1.2\"><manifest:file-entry manifest:full-path=\"/\" "
                "manifest:media-type=\"application/vnd.oasis.opendocument.spreadsheet\"/>"
                "<manifest:file-entry manifest:full-path=\"content.xml\" manifest:media-type=\"text/xml\"/>"
                "</manifest:manifest>");
    zip.addFile("content.xml", contentFile);
    zip.close();
}

void writeCsv(const std::string &path, long rows)
{
    Output csv(path);
    for (long i = 0; i <= rows; ++i) {
        std::string line;
        const std::vector<Cell> cells = row(i);
        for (size_t c = 0; c < cells.size(); ++c) {
            if (c > 0)
                line += ';';
            line += cells[c].value;
        }
        csv << line + "\r\n";
    }
    csv.close();
}

long peakResidentKb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// What a district run reads: the workbook opened, the rows up to the first
// empty running number, each of their cells once.
void open(const QString &path, QElapsedTimer &clock)
{
    auto spreadsheet = SpreadsheetApplication::Start();
    Workbook &book = spreadsheet->Open(path, LastExaminedRow);
    Worksheet &sheet = book.firstSheet();
    const int lastRow = lastDataRow(sheet, 2);
    qsizetype characters = 0;
    for (int r = FirstDataRow; r <= lastRow; ++r)
        for (int c = 1; c <= int(kHeadings.size()); ++c)
            characters += trimmedCell(sheet, r, c).size();
    book.Close();
    spreadsheet->Quit();
    std::printf("%.2f s, peak %ld MB, last data row %d, %lld characters\n", clock.nsecsElapsed() / 1e9,
                peakResidentKb() / 1024, lastRow, (long long)characters);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication application(argc, argv);
    const QStringList arguments = application.arguments();
    if (arguments.size() == 3 && arguments[1] == u"open") {
        QElapsedTimer clock;
        clock.start();
        try {
            open(arguments[2], clock);
        } catch (const Failure &failure) {
            std::printf("%.2f s, peak %ld MB, refused: %s\n", clock.nsecsElapsed() / 1e9, peakResidentKb() / 1024,
                        qPrintable(failure.description()));
            return 2;
        }
        return 0;
    }
    if (arguments.size() != 5 || arguments[1] != u"write")
        fail("usage: tarvel_bigworkbook write xlsx|xlsx-inline|ods|csv PATH ROWS | open PATH");
    const QString format = arguments[2];
    const std::string path = arguments[3].toStdString();
    const long rows = arguments[4].toLong();
    QTemporaryDir temp;
    if (!temp.isValid())
        fail("no temporary folder");
    if (format == u"xlsx")
        writeXlsx(path, rows, temp.path().toStdString());
    else if (format == u"xlsx-inline")
        writeXlsxInline(path, rows);
    else if (format == u"ods")
        writeOds(path, rows, temp.path().toStdString());
    else if (format == u"csv")
        writeCsv(path, rows);
    else
        fail("unknown format " + format.toStdString());
    return 0;
}
