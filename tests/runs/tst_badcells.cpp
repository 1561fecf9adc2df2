// Hostile and broken cell texts in every column of both workbooks, through the
// check and the import run of both windows, on every database. Whatever a cell
// holds: no crash; the check writes nothing; the import leaves the records as
// the same workbook with a harmless value in that cell would (the code's
// fallback, an unknown cooperative); an unusable value ends the run with a
// failure that names its cell, the rows before it saved and nothing of its
// row; a text that only reaches the log stands there exactly, on one line.
#include "conversions.h"
#include "cooperativeruns.h"
#include "districtruns.h"
#include "failure.h"
#include "qtwarnings.h"
#include "runfixture.h"
#include "testfiles.h"
#include "testmain.h"

#include <QtTest>

namespace {

const QString CRLF = QStringLiteral("\r\n");

// What a run does with a column's text.
enum class Use {
    Logged,      // shown in the log only
    Unread,      // never read
    Code,        // looked up; anything unknown takes the table's fallback
    DistrictKey, // goes into the statement: a whole number or the run ends
    Year,        // converted: a whole number or the run ends
    Cooperative, // compared as text with the collections' numbers
};

struct ColumnUse
{
    int column;
    QString heading; // as failure descriptions name the column
    Use use;
    bool shownByCheck = false;
    bool shownByImport = false;
};

// One window's runs and workbook. Rows 2 and 4 add a record each, row 3
// updates one, on the records of tests/data/runs/<name>.sql.
struct Window
{
    QString name;
    bool (*check)(RunHost &);
    bool (*import)(RunHost &);
    QVariantList headings;
    QList<QVariantList> rows; // rows 2, 3 and 4
    QList<ColumnUse> columns;
};

const Window District{
    "district", runDistrictCheck, runDistrictImport,
    {"Nr", "Lfdnr", "frei", "Revier", "Verbiss", "Änderung", "Jahr"},
    {{"Zelle A2", 12, QVariant(), "Hofberg", 3, 0, 2021},
     {"Zelle A3", 448, QVariant(), "Waldrand", 4, 3, 2021},
     {"Zelle A4", 0, QVariant(), "Null", 1, 2, 2022}},
    {{1, "Nr", Use::Logged, false, true}, {2, "Lfdnr", Use::DistrictKey}, {3, "frei", Use::Unread},
     {4, "Revier", Use::Logged, true, true}, {5, "Verbiss", Use::Code}, {6, "Änderung", Use::Code},
     {7, "Jagdjahr", Use::Year}}};

const Window Cooperative{
    "cooperative", runCooperativeCheck, runCooperativeImport,
    {"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"},
    {{449, 2021, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Helmbrechts", 2, 2},
     {448, 2021, 476, "Landkreis Wunsiedel", "wun", "Wunsiedel-Marktredwitz", "Naila", 3, 4},
     {450, 2022, 477, "Landkreis Kulmbach", "ku", "Kulmbach-Stadtsteinach", "Schwarzenbach", 1, 5}},
    {{1, "Hgnr", Use::Cooperative, true, true}, {2, "Jahr", Use::Year, true, false},
     {3, "Lkr", Use::Logged, true, true}, {4, "Lkrname", Use::Logged, true, true},
     {5, "Alf_kurz", Use::Logged, true, true}, {6, "Alf_lang", Use::Logged, true, true},
     {7, "Hgname", Use::Logged, true, true}, {8, "Belast", Use::Code, true, true},
     {9, "Abschuss", Use::Code, true, true}}};

// The records without their keys, one per line.
QStringList records(TestDatabase &db)
{
    Records all = assessments(db);
    for (QStringList &values : all)
        values.removeFirst();
    return lines(all);
}

// The window's workbook with cell (3, column) set to value; rows 2 only when
// column is 0.
WorkbookRows workbookRows(const Window &window, int column, const QVariant &value)
{
    WorkbookRows rows{window.headings};
    rows << (column > 0 ? window.rows : window.rows.mid(0, 1));
    if (column > 0)
        rows[2][column - 1] = value;
    return rows;
}

// The records after importing that workbook on the seeded records, and the
// error of a failure that names the cell.
QStringList recordsAfterImport(TestDatabase &db, const Window &window, int column, const QVariant &value)
{
    db.execute("delete from ForstlichesGutachtenZurAbschussplanung");
    seed(db, window.name, true);
    RunFixture f(db);
    f.workbook("vergleich.xlsx", workbookRows(window, column, value));
    window.import(f.host);
    QStringList result = records(db);
    for (const ErrorReportEntry &report : f.errors.reports)
        result << QStringLiteral("Fehler %1: %2").arg(report.number).arg(
            report.description.contains(QStringLiteral("Zeile 3, Spalte %1").arg(column)) ? "Zelle genannt"
                                                                                           : report.description);
    return result;
}

// Only ASCII digits (after a sign) make a whole number: the test's own rule,
// not the code's. A refused whole number is too large, anything else no number.
bool wholeNumberText(const QString &text)
{
    static const QRegularExpression digits(QStringLiteral("^[+-]?[0-9]+$"));
    return digits.match(text).hasMatch();
}

// True when the log shows the text on one line. (QString::contains() takes
// quadratic time on a long run of one character; an anchor of the first
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
    for (const QChar ch : {QChar(u'\v'), QChar(u'\f'), QChar(0x85), QChar(0x2028), QChar(0x2029), QChar(0)})
        QVERIFY(!log.contains(ch));
}

// One failure report: the procedure and its error, naming the cell. (Its
// line: tst_failureplaces.)
void verifyFailure(RunFixture &f, const QString &procedure, long errorNumber, const QString &cell)
{
    QCOMPARE(f.errors.reports.size(), 1);
    const ErrorReportEntry &report = f.errors.reports[0];
    QCOMPARE(report.procedure, procedure);
    QCOMPARE(report.number, errorNumber);
    QVERIFY2(report.description.contains(cell), qPrintable(report.description));
    QVERIFY(report.description.size() < 300);
    QVERIFY(!report.description.contains(u'\n') && !report.description.contains(u'\r'));
    f.errors.reports.clear();
}

} // namespace

class BadCellsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnQtWarnings(); }
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    // Hostile texts of every sort, none of them empty after trimming and none
    // a code, a year or a number that the database knows. (Inside a quoted
    // value only quotes could break out: statements, comments and "or 1=1"
    // without one are no further case.)
    void hostileTexts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("text");
        const QList<std::pair<const char *, QString>> texts = {
            {"single quote", "'"},
            {"quote closing the filter", "448' or '1'='1"},
            {"double quotes", "\"448\""},
            {"percent and placeholders", "%1 %2 ? :id $1"},
            {"control characters", QStringLiteral("A\u0001B\u0007C\u001BD\u007FE")},
            {"tab", "44\t8"},
            {"line feed forging a log line", "448\n(Zeile 9)\t hinzugefügt: Falsch, 2021"},
            {"cr lf", "44\r\n8"},
            {"other line breaks", QStringLiteral("a\u000Bb\u000Cc\u0085d\u2028e\u2029f")},
            {"outside the basic multilingual plane", QStringLiteral("🦌 𝔊 448")},
            {"right-to-left override", QStringLiteral("\u202E844")},
            // The most a cell holds; the reader refuses longer ones.
            {"32,767 characters of text", QStringLiteral("x';--\"").repeated(32767 / 6) + QStringLiteral("x';--\"").left(32767 % 6)},
            {"32,767 digits", QString(32767, u'9')},
        };
        for (const QString &kind : qEnvironmentVariableIsSet("TARVEL_TEST_SANITIZERS") ? QStringList{"sqlite"} : TestDatabase::kinds()) {
            for (const auto &[name, text] : texts) {
                QTest::addRow("%s: district: %s", qPrintable(kind), name) << kind << text;
                QTest::addRow("%s: cooperative: %s", qPrintable(kind), name) << kind << text;
            }
        }
    }
    void hostileTexts()
    {
        QFETCH(QString, kind);
        QFETCH(QString, text);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        const Window &window = QString(QTest::currentDataTag()).contains(": district: ") ? District : Cooperative;
        seed(db, window.name);
        const bool wholeNumber = wholeNumberText(text);
        const long numberError = wholeNumber ? ErrorNumber::Overflow : ErrorNumber::TypeMismatch;

        // The clean workbook's logs: a text in a logged column changes no line.
        RunFixture clean(db);
        clean.workbook("mappe.xlsx", workbookRows(window, 1, window.rows[1][0]));
        window.check(clean.host);
        const qsizetype cleanCheckLines = clean.host.log.count(CRLF);
        const QStringList rowsTwoOnly = recordsAfterImport(db, window, 0, QVariant());
        const QStringList cleanRecords = recordsAfterImport(db, window, 1, window.rows[1][0]);

        for (const ColumnUse &column : window.columns) {
            const QByteArray where = QStringLiteral("column %1").arg(column.column).toUtf8();
            const QString cell = QStringLiteral("Zeile 3, Spalte %1 (%2)").arg(column.column).arg(column.heading);
            // A district number that is no whole number ends the run; a whole
            // number no district has, and any cooperative number, is not found.
            const bool refusedKey = column.use == Use::DistrictKey && !wholeNumber;
            const bool unknownKey = column.use == Use::Cooperative || (column.use == Use::DistrictKey && wholeNumber);
            // What the import must leave: as with a harmless value in the cell.
            QStringList expected = cleanRecords;
            if (refusedKey || column.use == Use::Year)
                expected = rowsTwoOnly;
            else if (column.use == Use::Code || unknownKey)
                expected = recordsAfterImport(db, window, column.column, column.use == Use::Code ? QVariant("") : 999);
            db.execute("delete from ForstlichesGutachtenZurAbschussplanung");
            seed(db, window.name, true);
            const QStringList before = records(db);
            RunFixture f(db);
            f.workbook("mappe.xlsx", workbookRows(window, column.column, text));

            window.check(f.host);
            verifyLineBreaks(f.host.log);
            if (refusedKey) {
                verifyFailure(f, "cmdImportTest_Click(", ErrorNumber::TypeMismatch,
                              cell + " enthält " + quotedValue(text));
                QVERIFY(!f.host.importEnabled.has_value());
            } else {
                QVERIFY2(f.errors.reports.isEmpty(), qPrintable(f.errors.reports.value(0).toText()));
                QCOMPARE(f.host.importEnabled, std::optional<bool>(true));
                if (!unknownKey)
                    QVERIFY2(f.host.log.count(CRLF) == cleanCheckLines, where.constData());
            }
            if (column.shownByCheck)
                QVERIFY2(logShows(f.host.log, text), where.constData());
            QCOMPARE(records(db), before);

            window.import(f.host);
            verifyLineBreaks(f.host.log);
            if (refusedKey || column.use == Use::Year) {
                verifyFailure(f, "cmdImportStarten_Click", refusedKey ? ErrorNumber::TypeMismatch : numberError,
                              cell + " enthält " + quotedValue(text));
                QCOMPARE(f.onlyLogFile(), f.host.log.toUtf8()); // the log so far
                QVERIFY(f.host.messages.isEmpty());
                QVERIFY(f.host.log.contains("Zeile 2)") || f.host.log.contains("Zeile (2)"));
                QVERIFY(!f.host.log.contains("Zeile 4)") && !f.host.log.contains("Zeile (4)"));
            } else {
                QVERIFY2(f.errors.reports.isEmpty(), qPrintable(f.errors.reports.value(0).toText()));
                if (column.use == Use::Cooperative)
                    QVERIFY(logShows(f.host.log, "(Zeile 3) Hegegemeinschaft (Laufende Nummer) nicht in der Datenbank: "
                                                     + text + ", Naila, 2021"));
                else if (unknownKey)
                    QVERIFY(f.host.log.contains("(Zeile 3) Jagdbezirk (Laufende Nummer) nicht in der Datenbank: "));
                // The log file holds the log exactly, in UTF-8.
                QVERIFY2(f.onlyLogFile() == f.host.log.toUtf8(), where.constData());
            }
            if (column.shownByImport)
                QVERIFY2(logShows(f.host.log, text), where.constData());
            QCOMPARE(records(db), expected);
        }
    }

    // Only a real whole number may pass as a district number or a year: a
    // full-width or other script's digit taken for a number would look up a
    // district the row does not name. The cooperative number is a text and
    // matches only exactly (blanks at both ends aside).
    void numberForms_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("keyText");  // for district 448
        QTest::addColumn<int>("key");          // the district it finds; -1 refused, 999 none
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
            row("hexadecimal") << "0x1C0" << -1 << "0x7E5" << -1 << false;
            row("exponent") << "4.48e2" << -1 << "2021e0" << -1 << false;
            row("decimal comma") << "448,0" << -1 << "2021,0" << -1 << false;
            row("inner blank") << "44 8" << -1 << "20 21" << -1 << false;
            row("zero-width space") << "448\u200B" << -1 << "2021\u200B" << -1 << false;
            row("sign twice") << "+-448" << -1 << "--2021" << -1 << false;
            row("beyond 32 bits") << "4294967744" << 999 << "4294969317" << -1 << false;
            row("beyond 64 bits") << "18446744073709552064" << 999 << "18446744073709553637" << -1 << false;
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
        seed(db, "district");
        seed(db, "cooperative");
        // Each form leaves the records as its plain number would, or as the
        // rows before it when it is refused with a failure that names the cell.
        static QMap<QString, QStringList> plainResults; // the same on every row
        const auto expect = [&](const Window &window, int column, int plain, const QString &text) {
            const QString name = QStringLiteral("%1 %2 %3 %4").arg(kind, window.name).arg(column).arg(plain);
            if (!plainResults.contains(name))
                plainResults[name] = recordsAfterImport(db, window, plain < 0 ? 0 : column, plain);
            const long error = wholeNumberText(text) ? ErrorNumber::Overflow : ErrorNumber::TypeMismatch;
            return plainResults[name] + (plain < 0 ? QStringList{QStringLiteral("Fehler %1: Zelle genannt").arg(error)}
                                                   : QStringList());
        };
        QCOMPARE(recordsAfterImport(db, District, 2, keyText), expect(District, 2, key, keyText));
        QCOMPARE(recordsAfterImport(db, District, 7, yearText), expect(District, 7, year, yearText));
        QCOMPARE(recordsAfterImport(db, Cooperative, 2, yearText), expect(Cooperative, 2, year, yearText));
        QCOMPARE(recordsAfterImport(db, Cooperative, 1, keyText), expect(Cooperative, 1, cooperativeFound ? 448 : 999, keyText));
    }
};

TARVEL_TEST_GUILESS_MAIN(BadCellsTest)
#include "tst_badcells.moc"
