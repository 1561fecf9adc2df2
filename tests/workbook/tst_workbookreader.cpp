#include "failure.h"
#include "spreadsheet.h"
#include "testfiles.h"
#include "testmain.h"
#include "testplatform.h"
#include "testworkbook.h"
#include "workbook/sheetreaders.h"
#include "workbook/xmlscanner.h"

#include <QDir>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include <zip.h>

namespace {

const QString kCorpus = QStringLiteral(TARVEL_TEST_DATA "/workbooks");

// One "A1<TAB>text" line per non-empty cell, row by row (one column beyond a
// sheet's too); line breaks and tabs are escaped to keep a value on its line.
QStringList dump(const Worksheet &sheet)
{
    QStringList lines;
    for (int row = 1; row <= sheet.rowCount(); ++row) {
        for (int column = 1; column <= Worksheet::MaxColumns + 1; ++column) {
            QString value = sheet.cellValue(row, column);
            if (value.isEmpty())
                continue;
            value.replace(u'\\', QStringLiteral("\\\\"))
                .replace(u'\n', QStringLiteral("\\n"))
                .replace(u'\r', QStringLiteral("\\r"))
                .replace(u'\t', QStringLiteral("\\t"))
                .replace(QChar(0), QStringLiteral("\\0"));
            lines << workbook::cellReference(row, column) + u'\t' + value;
        }
    }
    return lines;
}

QStringList readLines(const QString &path)
{
    return QString::fromUtf8(fileBytes(path)).split(u'\n', Qt::SkipEmptyParts);
}

// The corpus file of a case: <case>.<ext> beside <case>.expected.
QString caseFile(const QDir &dir, const QString &expected)
{
    const QString base = expected.chopped(int(qstrlen(".expected")));
    for (const QString &name : dir.entryList({base + QStringLiteral(".*")}, QDir::Files))
        if (!name.endsWith(u".expected"))
            return dir.filePath(name);
    return {};
}

// The dump's lines of rows 1..lastRow.
QStringList rowsUpTo(const QStringList &dump, int lastRow)
{
    QStringList kept;
    for (const QString &line : dump) {
        int row = 0;
        int column = 0;
        if (workbook::parseCellReference(line.section(u'\t', 0, 0), row, column) && row <= lastRow)
            kept << line;
    }
    return kept;
}

Failure readFailure(const QString &path, int lastRow = Worksheet::MaxRows)
{
    try {
        readFirstWorksheet(path, lastRow);
    } catch (const Failure &failure) {
        return failure;
    }
    return Failure(0, QString(), QStringLiteral("kein Fehler"));
}

} // namespace

class TestWorkbookReader : public QObject
{
    Q_OBJECT

private slots:
    void corpusPass_data();
    void corpusPass();
    void corpusFail_data();
    void corpusFail();
    void outsideUsedRangeIsEmpty();
    void refusedFiles_data();
    void refusedFiles();
    void tenThousandRows();
    void nothingBelowTheLastRowIsRead();
    void scannerInPiecesReadsTheSame_data();
    void scannerInPiecesReadsTheSame();
    void textFileReadInPieces();
    void applicationOpensAndCloses();

private:
    QTemporaryDir m_temp;
};

void TestWorkbookReader::corpusPass_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QString>("expected");
    const QDir dir(kCorpus + QStringLiteral("/pass"));
    const QStringList cases = dir.entryList({QStringLiteral("*.expected")}, QDir::Files, QDir::Name);
    QVERIFY2(cases.size() >= 10, "corpus missing: run tests/data/workbooks/make_corpus.sh");
    for (const QString &expected : cases)
        QTest::newRow(qPrintable(expected)) << caseFile(dir, expected) << dir.filePath(expected);
}

void TestWorkbookReader::corpusPass()
{
    QFETCH(QString, file);
    QFETCH(QString, expected);
    QVERIFY2(!file.isEmpty(), "no workbook beside the .expected file");
    try {
        const QStringList whole = dump(readFirstWorksheet(file));
        QCOMPARE(whole, readLines(expected));
        // Read up to a row, the kept rows read as in the full read and
        // nothing below them is kept.
        for (int lastRow : {0, 1, 2, 3}) {
            const Worksheet sheet = readFirstWorksheet(file, lastRow);
            QCOMPARE(dump(sheet), rowsUpTo(whole, lastRow));
            QVERIFY(sheet.rowCount() <= lastRow);
        }
    } catch (const Failure &failure) {
        QFAIL(qPrintable(failure.description()));
    }
}

void TestWorkbookReader::corpusFail_data()
{
    QTest::addColumn<QString>("file");
    QTest::addColumn<QStringList>("expected");
    const QDir dir(kCorpus + QStringLiteral("/fail"));
    const QStringList cases = dir.entryList({QStringLiteral("*.expected")}, QDir::Files, QDir::Name);
    QVERIFY2(cases.size() >= 6, "corpus missing: run tests/data/workbooks/make_corpus.sh");
    for (const QString &expected : cases)
        QTest::newRow(qPrintable(expected)) << caseFile(dir, expected) << readLines(dir.filePath(expected));
}

void TestWorkbookReader::corpusFail()
{
    QFETCH(QString, file);
    QFETCH(QStringList, expected);
    QVERIFY2(!file.isEmpty(), "no file beside the .expected file");
    const Failure failure = readFailure(file);
    QCOMPARE(failure.number(), expected.first().toLong());
    QCOMPARE(failure.source(), ErrorSource::Workbook);
    QVERIFY2(failure.description().contains(QDir::toNativeSeparators(file)), qPrintable(failure.description()));
    for (const QString &fragment : expected.mid(1))
        QVERIFY2(failure.description().contains(fragment), qPrintable(failure.description()));
    // UTF-8 read as Latin-1 shows as "Ã¤" for "ä": every refusal must read as German.
    static const QRegularExpression mojibake(QStringLiteral("[\\x{C2}-\\x{F4}][\\x{80}-\\x{BF}]"));
    QVERIFY2(!failure.description().contains(mojibake), qPrintable(failure.description()));
}

void TestWorkbookReader::outsideUsedRangeIsEmpty()
{
    const Worksheet sheet = readFirstWorksheet(kCorpus + QStringLiteral("/pass/xlsxwriter_shared_strings.xlsx"));
    QCOMPARE(sheet.rowCount(), 4);
    QCOMPARE(sheet.cellValue(1, 1), QStringLiteral("Lfdnr"));
    for (auto [row, column] : {std::pair{4, 9}, {5, 1}, {1, 10}, {0, 1}, {1, 0}, {-1, -1}, {1048577, 16385}})
        QCOMPARE(sheet.cellValue(row, column), QString());
}

void TestWorkbookReader::refusedFiles_data()
{
    // What stands at the path, made by the test; the error number it gets.
    QTest::addColumn<QString>("name");
    QTest::addColumn<long>("error");
    QTest::newRow("missing") << "fehlt.xlsx" << ErrorNumber::FileNotFound;
    QTest::newRow("folder") << "Ordner.xlsx" << ErrorNumber::PathFileAccess;
    // A device never ends, a pipe without writer blocks: either would hang the run.
    QTest::newRow("device") << "/dev/zero" << ErrorNumber::PathFileAccess;
    QTest::newRow("pipe") << "Rohr.csv" << ErrorNumber::PathFileAccess;
    QTest::newRow("empty") << "leer.csv" << ErrorNumber::WorkbookUnreadable;
    QTest::newRow("not readable") << "gesperrt.csv" << ErrorNumber::PermissionDenied;
}

void TestWorkbookReader::refusedFiles()
{
    QFETCH(QString, name);
    QFETCH(long, error);
    if ((name.startsWith(u'/') || name == QLatin1String("Rohr.csv")) && !lacking(Need::SpecialFiles).isEmpty())
        QSKIP(qPrintable(lacking(Need::SpecialFiles)));
    const QString path = name.startsWith(u'/') ? name : m_temp.filePath(name);
    if (name == QLatin1String("Ordner.xlsx"))
        QVERIFY(QDir().mkpath(path));
    else if (name == QLatin1String("Rohr.csv"))
        QVERIFY(makePipe(path));
    else if (name != QLatin1String("fehlt.xlsx") && !name.startsWith(u'/'))
        QVERIFY(writeFileBytes(path, name == QLatin1String("leer.csv") ? QByteArray() : "a;b\n"));
    if (name == QLatin1String("gesperrt.csv")) {
        QFile::setPermissions(path, QFileDevice::WriteOwner);
        if (QFile(path).open(QIODevice::ReadOnly))
            QSKIP("running with rights that read any file");
    }
    const Failure failure = readFailure(path);
    QCOMPARE(failure.number(), error);
    QCOMPARE(failure.source(), ErrorSource::Workbook);
    QVERIFY2(failure.description().contains(QDir::toNativeSeparators(path)), qPrintable(failure.description()));
}

namespace {

// One member of a zip package.
QByteArray zipMember(const QString &path, const char *member)
{
    int error = 0;
    zip_t *archive = zip_open(QFile::encodeName(path).constData(), ZIP_RDONLY, &error);
    zip_stat_t stat;
    zip_file_t *file = archive && zip_stat(archive, member, 0, &stat) == 0 ? zip_fopen(archive, member, 0) : nullptr;
    QByteArray bytes(file ? qsizetype(stat.size) : 0, '\0');
    if (file && zip_fread(file, bytes.data(), stat.size) != zip_int64_t(stat.size))
        bytes.clear();
    if (file)
        zip_fclose(file);
    if (archive)
        zip_discard(archive);
    return bytes;
}

} // namespace

void TestWorkbookReader::tenThousandRows()
{
    // A sheet part many times the scanner's window, with shared strings.
    constexpr int kRows = 10000;
    WorkbookRows rows;
    for (int r = 0; r <= kRows; ++r) {
        rows << QVariantList{};
        for (int c = 0; c < 9; ++c)
            rows.last() << (c % 2 ? QVariant(QStringLiteral("Zeile %1").arg(r)) : QVariant(r * 10 + c + 0.5 * (c == 4)));
    }
    const QString path = writeXlsx(m_temp.filePath(QStringLiteral("gross.xlsx")), rows);
    const Worksheet sheet = readFirstWorksheet(path);
    QCOMPARE(sheet.rowCount(), kRows + 1);
    QCOMPARE(sheet.cellValue(kRows + 1, 1), QString::number(kRows * 10));
    QCOMPARE(sheet.cellValue(kRows + 1, 9), QString::number(kRows * 10 + 8));
    QCOMPARE(sheet.cellValue(5001, 2), QStringLiteral("Zeile 5000"));
    QCOMPARE(sheet.cellValue(2, 5), QStringLiteral("14,5"));
}

void TestWorkbookReader::nothingBelowTheLastRowIsRead()
{
    // The fail folder's below_row_3 files are sound down to row 3 and damaged
    // below: read to row 3 they open; read whole, corpusFail sees them refused.
    const QDir dir(kCorpus + QStringLiteral("/fail"));
    const QStringList files = dir.entryList({QStringLiteral("below_row_3_*")}, QDir::Files);
    QCOMPARE(files.filter(QStringLiteral(".expected")).size(), 5);
    for (const QString &name : files) {
        try {
            if (!name.endsWith(u".expected"))
                QCOMPARE(dump(readFirstWorksheet(dir.filePath(name), 3)), (QStringList{"A1\tNr", "A2\t1", "B2\tx", "A3\t2"}));
        } catch (const Failure &failure) {
            QFAIL(qPrintable(failure.description()));
        }
    }
}

void TestWorkbookReader::scannerInPiecesReadsTheSame_data()
{
    QTest::addColumn<QByteArray>("xml");
    QTest::newRow("markup of every kind")
        << QByteArray("\xEF\xBB\xBF<?xml version=\"1.0\"?>\n<!DOCTYPE x>\n<!-- a > b -->"
                      "<a:root xmlns:a=\"urn:a\" x='1>2' y = \"&amp;&#x41;\"><a:c r=\"B2\"/>"
                      "<t>Text &lt;mit&gt; &#8364;\r\nZeilen</t><![CDATA[<roh>]]><?pi data?><!-- -->"
                      "<leer></leer><lang>") + QByteArray(300 * 1024, 'x') + QByteArray("</lang></a:root>\n");
    QTest::newRow("cut in a tag") << QByteArray("<!DOCTYPE a><a><b x=\"1\"></b ><![CDATA[x]]><c y=\"");
    QTest::newRow("cut in a comment") << QByteArray("<a><!-- ohne Ende </a>");
    QTest::newRow("cut in text") << QByteArray("<a>Text");
    QTest::newRow("end tag does not match") << QByteArray("<a><b></a></b>");
    const struct { const char *file; const char *member; } parts[] = {
        {"xlsxwriter_shared_strings.xlsx", "xl/worksheets/sheet1.xml"},
        {"xlsxwriter_shared_strings.xlsx", "xl/sharedStrings.xml"},
        {"handmade_features.xlsx", "xl/worksheets/sheet1.xml"},
        {"libreoffice_ods.ods", "content.xml"},
    };
    for (const auto &part : parts)
        QTest::newRow(part.member) << zipMember(kCorpus + QStringLiteral("/pass/") + QString::fromLatin1(part.file), part.member);
}

namespace {

// Every token with its name, attributes and text, or the refusal ending the scan.
QStringList tokens(workbook::XmlScanner &xml)
{
    QStringList seen;
    try {
        while (xml.next() != workbook::XmlScanner::EndDocument) {
            QString line = QString::number(xml.token()) + u' ' + QString::fromUtf8(xml.qualifiedName())
                           + u' ' + QString::number(xml.depth());
            if (xml.token() == workbook::XmlScanner::StartElement)
                line += u' ' + xml.attribute("r") + u' ' + xml.attribute("x") + u' ' + xml.attribute("y")
                        + u' ' + xml.prefixedAttribute("a");
            else if (xml.token() == workbook::XmlScanner::Characters)
                line += u' ' + xml.text();
            seen << line;
        }
        seen << QString::fromLatin1(xml.prefixFor("urn:a"));
    } catch (const workbook::ReadError &error) {
        seen << error.reason;
    }
    return seen;
}

} // namespace

void TestWorkbookReader::scannerInPiecesReadsTheSame()
{
    // A streamed part arrives in pieces that split tokens anywhere; the scanner
    // must see the same tokens (and the same damage) as over the whole part.
    QFETCH(QByteArray, xml);
    QVERIFY(!xml.isEmpty());
    workbook::XmlScanner whole(xml, QStringLiteral("teil"));
    const QStringList expected = tokens(whole);
    // Tiny pieces rescan a long token once per byte: only for short parts.
    const QList<qsizetype> pieceSizes = xml.size() < 65536 ? QList<qsizetype>{1, 3, 7, 4096} : QList<qsizetype>{4096, 65536};
    for (qsizetype pieceSize : pieceSizes) {
        qsizetype offset = 0;
        workbook::XmlScanner pieces(
            [&](char *buffer, qsizetype wanted) {
                const qsizetype n = std::min({wanted, pieceSize, xml.size() - offset});
                std::memcpy(buffer, xml.constData() + offset, size_t(n));
                offset += n;
                return n;
            },
            QStringLiteral("teil"));
        QCOMPARE(tokens(pieces), expected);
    }
}

void TestWorkbookReader::textFileReadInPieces()
{
    // Larger than the first piece read, with a line break inside quotes where
    // the pieces meet and a Windows-1252 byte at the very end.
    constexpr int kRows = 60000;
    QByteArray csv = "Nr;Name\r\n";
    for (int r = 2; r <= kRows; ++r)
        csv += QByteArray::number(r) + (r % 1000 == 0 ? ";\"zwei\r\nZeilen\"\r\n" : ";M\xc3\xbcnchberg\r\n");
    csv += "Ende;\xfc\r\n";
    const QString path = m_temp.filePath(QStringLiteral("lang.csv"));
    QVERIFY(writeFileBytes(path, csv));
    QVERIFY(csv.size() > 1024 * 1024);

    // The needed rows are UTF-8; the rest of the file is never looked at.
    Worksheet sheet = readFirstWorksheet(path, 50000);
    QCOMPARE(sheet.rowCount(), 50000);
    QCOMPARE(sheet.cellValue(49999, 2), QStringLiteral("Münchberg"));
    QCOMPARE(sheet.cellValue(50000, 2), QStringLiteral("zwei\nZeilen"));
    // Read whole, one byte that is no UTF-8 makes all of it Windows-1252, as before.
    sheet = readFirstWorksheet(path);
    QCOMPARE(sheet.rowCount(), kRows + 1);
    QCOMPARE(sheet.cellValue(kRows + 1, 2), QStringLiteral("ü"));
    QCOMPARE(sheet.cellValue(2, 2), QStringLiteral("MÃ¼nchberg"));

    // UTF-16: a piece must not end inside a character.
    QString text = QStringLiteral("Nr;Wert\r\n");
    for (int r = 2; r <= kRows; ++r)
        text += QString::number(r) + QStringLiteral(";ä€\r\n");
    QByteArray utf16("\xff\xfe");
    utf16.append(reinterpret_cast<const char *>(text.utf16()), text.size() * 2);
    QVERIFY(writeFileBytes(path, utf16));
    QVERIFY(utf16.size() > 1024 * 1024);
    sheet = readFirstWorksheet(path);
    QCOMPARE(sheet.rowCount(), kRows);
    QCOMPARE(sheet.cellValue(kRows, 1), QString::number(kRows));
    QCOMPARE(sheet.cellValue(kRows, 2), QStringLiteral("ä€"));
}

void TestWorkbookReader::applicationOpensAndCloses()
{
    auto app = SpreadsheetApplication::Start();
    Workbook &workbook = app->Open(kCorpus + QStringLiteral("/pass/excel_cp1252_semicolon.csv"), 2);
    QCOMPARE(workbook.firstSheet().cellValue(2, 2), QStringLiteral("Bayreuth-Münchberg"));
    QCOMPARE(workbook.firstSheet().rowCount(), 2);
    app->Quit();
    QCOMPARE(workbook.firstSheet().rowCount(), 0);
    QVERIFY_THROWS_EXCEPTION(Failure, app->Open(kCorpus + QStringLiteral("/fail/empty.xlsx")));
}

TARVEL_TEST_GUILESS_MAIN(TestWorkbookReader)
#include "tst_workbookreader.moc"
