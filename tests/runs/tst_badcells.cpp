// Hostile and broken cell texts in every column of both workbooks, through the
// check and the import run of both windows, on every database. Whatever a cell
// holds: no crash; the assessment table changes only by the records of the
// rows themselves; an unusable value ends the run with a failure that names
// its cell, the rows before it saved and nothing of its row; a text that only
// reaches the log stands there exactly, on one line.
#include "conversions.h"
#include "cooperativeruns.h"
#include "districtruns.h"
#include "failure.h"
#include "orberecordset.h"
#include "runfixture.h"
#include "testfiles.h"

#include <QFile>
#include <QtTest>

namespace {

const QString CRLF = QStringLiteral("\r\n");

// What a run does with a column's text.
enum class Use {
    Logged,       // shown in the log only
    Unread,       // never read
    Code,         // looked up; anything unknown takes the table's fallback
    DistrictKey,  // goes into the statement: a whole number or the run ends
    Year,         // converted: a whole number or the run ends
    Cooperative,  // compared as text with the collections' numbers
};

struct ColumnUse
{
    int column;
    QString heading; // as failure descriptions name the column
    Use use;
    int codeIndex = 0; // Code: the code's place in a record line, and its fallback
    int fallback = 0;
    bool shownByCheck = false;
    bool shownByImport = false;
};

// A record of the assessment table as "collection/first year" -> {key or
// "neu", species name, last year, pressure, cull, change, remark}.
using Records = QMap<QString, QStringList>;
constexpr int Pressure = 3;
constexpr int Cull = 4;
constexpr int Change = 5;

Records assessments(TestDatabase &db)
{
    auto rs = db.connection()->OpenRecordset(
        QStringLiteral("select IdForstlichesGutachten, IdJagdbezirksSammlung, JagdjahrVon, "
                       "(select Wildart_Name from Wildart where Wildart_ID_PK = IdWildart), JagdjahrBis, "
                       "IdVerbissbelastung, IdForstlicheAbschussEmpfehlung, IdAenderungVerbissbelastung, Bemerkung "
                       "from ForstlichesGutachtenZurAbschussplanung"),
        OpenMode::Lookup);
    Records records;
    while (rs->HasCurrent()) {
        OrbeFields fields = rs->Fields();
        QString key = fields.Item(1).text() + u'/' + fields.Item(2).text();
        while (records.contains(key))
            key += u'+'; // a second record of a collection and year shows, too
        QStringList values{fields.Item(0).text()};
        for (int i = 3; i < fields.Count(); ++i)
            values << fields.Item(i).text();
        records.insert(key, values);
        rs->MoveNext();
    }
    return records;
}

// The records after a run, the keys of records that were not there before as "neu".
Records assessmentsAfter(TestDatabase &db, const Records &before)
{
    QStringList oldKeys;
    for (const QStringList &values : before)
        oldKeys << values[0];
    Records after = assessments(db);
    for (QStringList &values : after) {
        if (!oldKeys.contains(values[0]))
            values[0] = QStringLiteral("neu");
    }
    return after;
}

// The records one per line, for comparisons that show the difference.
QStringList lines(const Records &records)
{
    QStringList result;
    for (auto it = records.cbegin(); it != records.cend(); ++it)
        result << it.key() + QStringLiteral(": ") + it.value().join(u' ');
    return result;
}

// True when the log shows the text on one line. (QString::contains() takes
// quadratic time on a 1 MB run of one character; an anchor of the first
// characters finds each candidate place instead.)
bool logShows(const QString &log, const QString &text)
{
    const QString shown = singleLine(text);
    const QStringView anchor = QStringView(shown).left(40);
    for (qsizetype at = log.indexOf(anchor); at >= 0; at = log.indexOf(anchor, at + 1)) {
        if (QStringView(log).sliced(at).startsWith(shown))
            return true;
    }
    return false;
}

// Every line break of the log is the run's own CR LF.
void verifyLineBreaks(const QString &log)
{
    const qsizetype pairs = log.count(CRLF);
    QCOMPARE(log.count(u'\r'), pairs);
    QCOMPARE(log.count(u'\n'), pairs);
    for (const QChar ch : {QChar(u'\v'), QChar(u'\f'), QChar(0x85), QChar(0x2028), QChar(0x2029)})
        QVERIFY(!log.contains(ch));
}

// One window's runs, workbook and database content. Row 2 and row 4 are
// valid and add a record each; row 3 is valid and updates a record until a test
// puts a hostile text into one of its cells.
struct Window
{
    void (*check)(RunHost &);
    void (*import)(RunHost &);
    QString checkProcedure = QStringLiteral("cmdImportTest_Click(");
    QString importProcedure = QStringLiteral("cmdImportStarten_Click");
    QVariantList headings;
    QList<QVariantList> rows; // rows 2, 3 and 4
    QList<ColumnUse> columns;
    int keyLine = 0;          // the error line of a refused district number
    int yearLine = 0;         // the error line of a refused year in the import
    QString collections;      // statements that fill the collections
    QString seed;             // the statement that inserts the records before a run
    std::pair<QString, QStringList> row2, row4; // the records rows 2 and 4 add
    QString row3Record;       // the record row 3 updates, and its codes then
    QMap<int, QString> row3Codes;
};

// The species of the seeded records that belong to no row.
const QString OtherSpecies = QStringLiteral("(select min(Wildart_ID_PK) from Wildart where Wildart_Name <> 'Rehwild')");
const QString Rehwild = QStringLiteral("(select Wildart_ID_PK from Wildart where Wildart_Name = 'Rehwild')");

Window districtWindow()
{
    Window w;
    w.check = runDistrictCheck;
    w.import = runDistrictImport;
    w.headings = {"Nr", "Lfdnr", "frei", "Revier", "Verbiss", "Änderung", "Jahr"};
    w.rows = {
        {"Zelle A2", 12, QVariant(), "Hofberg", 3, 0, 2021},
        {"Zelle A3", 448, QVariant(), "Waldrand", 4, 3, 2021},
        {"Zelle A4", 0, QVariant(), "Null", 1, 2, 2022},
    };
    w.columns = {
        {1, "Nr", Use::Logged, 0, 0, false, true},
        {2, "Lfdnr", Use::DistrictKey},
        {3, "frei", Use::Unread},
        {4, "Revier", Use::Logged, 0, 0, true, true},
        {5, "Verbiss", Use::Code, Pressure, 12},
        {6, "Änderung", Use::Code, Change, 31},
        {7, "Jagdjahr", Use::Year},
    };
    w.keyLine = 110;
    w.yearLine = 160;
    // District 12 in collection 101, 13 in 102, 0 in 103, 448 in 104.
    w.collections =
        "insert into JagdbezirksSammlung (JagdbezirksSammlung_ID_PK, JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK, "
        "JagdbezirksSammlung_Lfdnr, JagdbezirksSammlung_Name) values (101, 1, '1001', 'Hofberg'), "
        "(102, 1, '1002', 'Nachbar'), (103, 1, '1003', 'Nullrevier'), (104, 1, '1004', 'Waldgemeinschaft');"
        "insert into Jagdbezirk (Jagdbezirk_ID_PK, Jagdbezirk_Sammlung_ID_FK) values "
        "(201, 101), (202, 102), (203, 103), (204, 104);"
        "insert into JagdbezirkDatenBayern (JagdbezirkDatenBayern_Jagdbezirk_ID_FK, JagdbezirkDatenBayern_Lfdnr, "
        "JagdbezirkDatenBayern_Jagdjahr, JagdbezirkDatenBayern_Reviername) values (201, 12, 2022, 'Hofberg'), "
        "(202, 13, 2022, 'Nachbar'), (203, 0, 2022, 'Null'), (204, 448, 2022, 'Wald')";
    w.seed = "insert into ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, IdWildart, JagdjahrVon, "
             "JagdjahrBis, IdVerbissbelastung, IdAenderungVerbissbelastung, Bemerkung) values "
             "(104, " + OtherSpecies + ", 2021, 2025, 11, 30, 'alt'), (101, " + OtherSpecies + ", 2020, 2022, 11, 36, null), "
             "(102, " + Rehwild + ", 2021, 2023, 11, 36, null)";
    w.row2 = {"101/2021", {"neu", "Rehwild", "2023", "13", "", "36", ""}};
    w.row4 = {"103/2022", {"neu", "Rehwild", "2024", "11", "", "31", ""}};
    w.row3Record = "104/2021";
    w.row3Codes = {{Pressure, "14"}, {Change, "32"}};
    return w;
}

Window cooperativeWindow()
{
    Window w;
    w.check = runCooperativeCheck;
    w.import = runCooperativeImport;
    w.headings = {"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"};
    w.rows = {
        {449, 2021, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Helmbrechts", 2, 2},
        {448, 2021, 476, "Landkreis Wunsiedel", "wun", "Wunsiedel-Marktredwitz", "Naila", 3, 4},
        {450, 2022, 477, "Landkreis Kulmbach", "ku", "Kulmbach-Stadtsteinach", "Schwarzenbach", 1, 5},
    };
    w.columns = {
        {1, "Hgnr", Use::Cooperative, 0, 0, true, true},
        {2, "Jahr", Use::Year, 0, 0, true, false},
        {3, "Lkr", Use::Logged, 0, 0, true, true},
        {4, "Lkrname", Use::Logged, 0, 0, true, true},
        {5, "Alf_kurz", Use::Logged, 0, 0, true, true},
        {6, "Alf_lang", Use::Logged, 0, 0, true, true},
        {7, "Hgname", Use::Logged, 0, 0, true, true},
        {8, "Belast", Use::Code, Pressure, 12, true, true},
        {9, "Abschuss", Use::Code, Cull, 16, true, true},
    };
    w.yearLine = 150;
    w.collections =
        "insert into JagdbezirksSammlung (JagdbezirksSammlung_ID_PK, JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK, "
        "JagdbezirksSammlung_Lfdnr, JagdbezirksSammlung_Name) values (301, 2, '448', 'HG Naila'), "
        "(302, 2, '449', 'HG Helmbrechts'), (303, 2, '450', 'HG Schwarzenbach'), (305, 2, '4''51', 'HG Apostroph'), "
        "(306, 2, null, 'HG ohne Nummer')";
    w.seed = "insert into ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, IdWildart, JagdjahrVon, "
             "JagdjahrBis, IdVerbissbelastung, IdForstlicheAbschussEmpfehlung, Bemerkung) values "
             "(301, " + OtherSpecies + ", 2021, 2025, 11, 15, 'alt'), (301, " + OtherSpecies + ", 2018, 2020, 12, 16, null), "
             "(305, " + Rehwild + ", 2021, 2023, 11, 15, null)";
    w.row2 = {"302/2021", {"neu", "Rehwild", "2023", "12", "16", "", ""}};
    w.row4 = {"303/2022", {"neu", "Rehwild", "2024", "11", "19", "", ""}};
    w.row3Record = "301/2021";
    w.row3Codes = {{Pressure, "13"}, {Cull, "18"}};
    return w;
}

void fillCollections(TestDatabase &db, const Window &window)
{
    for (const QString &statement : window.collections.split(u';'))
        db.execute(statement);
}

Records withAdded(Records records, const std::pair<QString, QStringList> &record)
{
    records.insert(record.first, record.second);
    return records;
}

Records withRow3(const Window &window, Records records)
{
    for (auto it = window.row3Codes.cbegin(); it != window.row3Codes.cend(); ++it)
        records[window.row3Record][it.key()] = it.value();
    return records;
}

void resetAssessments(TestDatabase &db, const Window &window)
{
    db.execute("delete from ForstlichesGutachtenZurAbschussplanung");
    db.execute(window.seed);
}

WorkbookRows workbookRows(const Window &window, int column, const QVariant &value)
{
    WorkbookRows rows{window.headings};
    rows << window.rows;
    if (column > 0)
        rows[2][column - 1] = value;
    return rows;
}

// Hostile texts of every sort, none of them empty after trimming and none a
// code, a year or a number that the database knows.
void hostileTexts_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("text");
    const QList<std::pair<const char *, QString>> texts = {
        {"single quote", "'"},
        {"quote closing the filter", "448' or '1'='1"},
        {"double quotes", "\"448\""},
        {"second statement", "448; delete from ForstlichesGutachtenZurAbschussplanung; --"},
        {"line comment", "448 -- Kommentar"},
        {"block comment", "/* 448 */"},
        {"or 1=1", "1 or 1=1"},
        {"percent and placeholders", "%1 %2 ? :id $1"},
        {"control characters", QStringLiteral("A\u0001B\u0007C\u001BD\u007FE")},
        {"tab", "44\t8"},
        {"line feed forging a log line", "448\n(Zeile 9)\t hinzugefügt: Falsch, 2021"},
        {"cr lf", "44\r\n8"},
        {"other line breaks", QStringLiteral("a\u000Bb\u000Cc\u0085d\u2028e\u2029f")},
        {"outside the basic multilingual plane", QStringLiteral("🦌 𝔊 448")},
        {"right-to-left override", QStringLiteral("\u202E844")},
        // Beyond what a cell of the xlsx format holds: these go through CSV.
        {"1 MB of text", QStringLiteral("x';--\"").repeated((1 << 20) / 6 + 1)},
        {"1 MB of digits", QString(1 << 20, u'9')},
    };
    for (const QString &kind : TestDatabase::kinds()) {
        for (const auto &[name, text] : texts)
            QTest::addRow("%s: %s", qPrintable(kind), name) << kind << text;
    }
}

} // namespace

class BadCellsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void districtHostileTexts_data() { hostileTexts_data(); }
    void districtHostileTexts() { hostileTextsInEveryColumn(districtWindow()); }

    void cooperativeHostileTexts_data() { hostileTexts_data(); }
    void cooperativeHostileTexts() { hostileTextsInEveryColumn(cooperativeWindow()); }

    // Only a real whole number may pass as a district number or a year: a
    // full-width or other script's digit taken for a number would look up a
    // district the row does not name. The cooperative number is a text and
    // matches only exactly (blanks at both ends aside).
    void numberForms_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("keyText");  // for district 448
        QTest::addColumn<int>("key");          // the district it finds; -1 refused, -2 none
        QTest::addColumn<QString>("yearText"); // for 2021
        QTest::addColumn<int>("year");         // -1 refused
        QTest::addColumn<bool>("cooperativeFound"); // keyText as the cooperative number finds 448
        const QString nbsp = QStringLiteral("\u00A0");
        for (const QString &kind : TestDatabase::kinds()) {
            auto row = [&](const char *name) -> QTestData & {
                return QTest::addRow("%s: %s", qPrintable(kind), name) << kind;
            };
            row("blanks") << " 448 " << 448 << " 2021 " << 2021 << true;
            row("tab and line break") << "\t448\n" << 448 << "\t2021\r\n" << 2021 << true;
            row("non-breaking spaces") << nbsp + "448" + nbsp << 448 << nbsp + "2021" + nbsp << 2021 << true;
            row("plus sign") << "+448" << 448 << "+2021" << 2021 << false;
            row("leading zeros") << "00448" << 448 << "02021" << 2021 << false;
            row("minus zero") << "-0" << 0 << "-0" << 0 << false;
            row("full-width digits") << "４４８" << -1 << "２０２１" << -1 << false;
            row("arabic-indic digits") << "٤٤٨" << -1 << "٢٠٢١" << -1 << false;
            row("mathematical digits") << "𝟒𝟒𝟖" << -1 << "𝟐𝟎𝟐𝟏" << -1 << false;
            row("superscript digits") << "⁴⁴⁸" << -1 << "²⁰²¹" << -1 << false;
            row("hexadecimal") << "0x1C0" << -1 << "0x7E5" << -1 << false;
            row("exponent") << "4.48e2" << -1 << "2021e0" << -1 << false;
            row("decimal comma") << "448,0" << -1 << "2021,0" << -1 << false;
            row("decimal point") << "448.0" << -1 << "2021.0" << -1 << false;
            row("inner blank") << "44 8" << -1 << "20 21" << -1 << false;
            row("zero-width space") << "448\u200B" << -1 << "2021\u200B" << -1 << false;
            row("sign twice") << "+-448" << -1 << "--2021" << -1 << false;
            row("beyond 32 bits") << "4294967744" << -2 << "4294969317" << -1 << false;
            row("beyond 64 bits") << "18446744073709552064" << -2 << "18446744073709553637" << -1 << false;
        }
    }
    void numberForms()
    {
        QFETCH(QString, kind);
        QFETCH(QString, keyText);
        QFETCH(int, key);
        QFETCH(QString, yearText);
        QFETCH(int, year);
        QFETCH(bool, cooperativeFound);
        TARVEL_OPEN_TEST_DATABASE(db, kind);

        // The district number: district 448 (collection 104) or 0 (103).
        const Window district = districtWindow();
        fillCollections(db, district);
        {
            resetAssessments(db, district);
            const Records before = assessments(db);
            RunFixture f(db);
            f.workbook("bezirke.xlsx", workbookRows(district, 2, keyText));
            district.import(f.host);
            Records expected = withAdded(before, district.row2);
            if (key == -1) {
                QCOMPARE(f.errors.reports.size(), 1);
                QCOMPARE(f.errors.reports[0].line, district.keyLine);
                QVERIFY(f.errors.reports[0].description.contains("Zeile 3, Spalte 2 (Lfdnr)"));
            } else {
                QVERIFY(f.errors.reports.isEmpty());
                if (key == 448)
                    expected = withRow3(district, expected);
                else if (key == 0)
                    expected.insert("103/2021", {"neu", "Rehwild", "2023", "14", "", "32", ""});
                expected = withAdded(expected, district.row4);
            }
            QCOMPARE(lines(assessmentsAfter(db, before)), lines(expected));
        }
        // The district's year.
        {
            resetAssessments(db, district);
            const Records before = assessments(db);
            RunFixture f(db);
            f.workbook("bezirke.xlsx", workbookRows(district, 7, yearText));
            district.import(f.host);
            verifyYear(db, f, district, before, year, 7, 104, {"14", "", "32"});
        }

        // The cooperative's year and number.
        const Window cooperative = cooperativeWindow();
        fillCollections(db, cooperative);
        {
            resetAssessments(db, cooperative);
            const Records before = assessments(db);
            RunFixture f(db);
            f.workbook("hg.xlsx", workbookRows(cooperative, 2, yearText));
            cooperative.import(f.host);
            verifyYear(db, f, cooperative, before, year, 2, 301, {"13", "18", ""});
        }
        {
            resetAssessments(db, cooperative);
            const Records before = assessments(db);
            RunFixture f(db);
            f.workbook("hg.xlsx", workbookRows(cooperative, 1, keyText));
            cooperative.import(f.host);
            QVERIFY(f.errors.reports.isEmpty());
            Records expected = withAdded(before, cooperative.row2);
            if (cooperativeFound)
                expected = withRow3(cooperative, expected);
            else
                QVERIFY(f.host.log.contains("(Zeile 3) Hegegemeinschaft (Laufende Nummer) nicht in der Datenbank: "));
            QCOMPARE(lines(assessmentsAfter(db, before)), lines(withAdded(expected, cooperative.row4)));
        }
    }

private:
    // Row 3 with a year form: 2021 updates the collection's record, another
    // accepted year adds one with row 3's codes, a refused one ends the run
    // with row 2 saved.
    void verifyYear(TestDatabase &db, RunFixture &f, const Window &window, const Records &before, int year,
                    int yearColumn, int collection, const QStringList &codes)
    {
        Records expected = withAdded(before, window.row2);
        if (year < 0) {
            QCOMPARE(f.errors.reports.size(), 1);
            QCOMPARE(f.errors.reports[0].line, window.yearLine);
            QVERIFY2(f.errors.reports[0].description.contains(QStringLiteral("Zeile 3, Spalte %1").arg(yearColumn)),
                     qPrintable(f.errors.reports[0].description));
        } else {
            QVERIFY(f.errors.reports.isEmpty());
            if (year == 2021)
                expected = withRow3(window, expected);
            else
                expected.insert(QStringLiteral("%1/%2").arg(collection).arg(year),
                                QStringList{"neu", "Rehwild", QString::number(year + 2)} + codes
                                    + QStringList{""});
            expected = withAdded(expected, window.row4);
        }
        QCOMPARE(lines(assessmentsAfter(db, before)), lines(expected));
    }

    void hostileTextsInEveryColumn(const Window &window)
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        fillCollections(db, window);
        // xlsx holds at most 32767 characters in a cell.
        const QString fileName = text.size() > 32767 ? QStringLiteral("mappe.csv") : QStringLiteral("mappe.xlsx");
        // A whole number that no district has is simply not found.
        const bool number = isWholeNumber(text);

        // The clean workbook's logs: a text in a logged column changes no line.
        qsizetype cleanCheckLines = 0;
        qsizetype cleanImportLines = 0;
        {
            resetAssessments(db, window);
            RunFixture f(db);
            f.workbook(fileName, workbookRows(window, 0, QVariant()));
            window.check(f.host);
            cleanCheckLines = f.host.log.count(CRLF);
            window.import(f.host);
            cleanImportLines = f.host.log.count(CRLF);
            QVERIFY(f.errors.reports.isEmpty());
        }

        for (const ColumnUse &column : window.columns) {
            const QByteArray where = QStringLiteral("column %1 (%2)").arg(column.column).arg(column.heading).toUtf8();
            resetAssessments(db, window);
            const Records before = assessments(db);
            RunFixture f(db);
            f.workbook(fileName, workbookRows(window, column.column, text));
            const QString cell = QStringLiteral("Zeile 3, Spalte %1 (%2)").arg(column.column).arg(column.heading);

            // A failure names the cell and quotes the text readably, on one line.
            auto verifyFailure = [&](const QString &procedure, int line, long errorNumber) {
                QVERIFY2(f.errors.reports.size() == 1, where.constData());
                const ErrorReportEntry &report = f.errors.reports[0];
                QCOMPARE(report.procedure, procedure);
                QCOMPARE(report.line, line);
                QCOMPARE(report.number, errorNumber);
                QVERIFY2(report.description.contains(cell), qPrintable(report.description));
                QVERIFY2(report.description.contains(quotedValue(text)), qPrintable(report.description));
                QVERIFY2(report.description.size() < 300, where.constData());
                QVERIFY(!report.description.contains(u'\n') && !report.description.contains(u'\r'));
                f.errors.reports.clear();
            };

            // The check writes nothing, whatever the cell holds.
            const bool refusedKey = column.use == Use::DistrictKey && !number;
            window.check(f.host);
            verifyLineBreaks(f.host.log);
            if (refusedKey) {
                verifyFailure(window.checkProcedure, window.keyLine, ErrorNumber::TypeMismatch);
                QVERIFY(!f.host.importEnabled.has_value());
            } else {
                QVERIFY2(f.errors.reports.isEmpty(), qPrintable(f.errors.reports.value(0).toText()));
                QCOMPARE(f.host.importEnabled, std::optional<bool>(true));
                if (column.use != Use::Cooperative && column.use != Use::DistrictKey)
                    QVERIFY2(f.host.log.count(CRLF) == cleanCheckLines, where.constData());
            }
            if (column.shownByCheck)
                QVERIFY2(logShows(f.host.log, text), where.constData());
            QCOMPARE(lines(assessmentsAfter(db, before)), lines(before));

            window.import(f.host);
            verifyLineBreaks(f.host.log);
            Records expected = withAdded(before, window.row2);
            if (refusedKey || column.use == Use::Year) {
                verifyFailure(window.importProcedure, column.use == Use::Year ? window.yearLine : window.keyLine,
                              number ? ErrorNumber::Overflow : ErrorNumber::TypeMismatch);
                QVERIFY(f.logFiles().isEmpty());
                QVERIFY(f.host.messages.isEmpty());
                QVERIFY(f.host.log.contains("Zeile 2)") || f.host.log.contains("Zeile (2)"));
                QVERIFY(!f.host.log.contains("Zeile 4)") && !f.host.log.contains("Zeile (4)"));
            } else {
                QVERIFY2(f.errors.reports.isEmpty(), qPrintable(f.errors.reports.value(0).toText()));
                if (column.use == Use::Cooperative) {
                    QVERIFY(logShows(f.host.log, "(Zeile 3) Hegegemeinschaft (Laufende Nummer) nicht in der Datenbank: "
                                                     + text + ", Naila, 2021"));
                } else if (column.use == Use::DistrictKey) {
                    QVERIFY(f.host.log.contains("(Zeile 3) Jagdbezirk (Laufende Nummer) nicht in der Datenbank: "));
                } else {
                    QVERIFY2(f.host.log.count(CRLF) == cleanImportLines, where.constData());
                    expected = withRow3(window, expected);
                    if (column.use == Use::Code)
                        expected[window.row3Record][column.codeIndex] = QString::number(column.fallback);
                }
                expected = withAdded(expected, window.row4);
                // The log file holds the log exactly, in UTF-8.
                const QStringList files = f.logFiles();
                QCOMPARE(files.size(), 1);
                const QByteArray bytes = fileBytes(f.folder.filePath(files[0]));
                QVERIFY2(bytes == f.host.log.toUtf8(), where.constData());
                QCOMPARE(QString::fromUtf8(bytes), f.host.log);
            }
            if (column.shownByImport)
                QVERIFY2(logShows(f.host.log, text), where.constData());
            QCOMPARE(lines(assessmentsAfter(db, before)), lines(expected));
        }
    }
};

QTEST_GUILESS_MAIN(BadCellsTest)
#include "tst_badcells.moc"
