// The district window's check and import runs, through the run host, on real
// databases and real workbook files.
#include "districtruns.h"
#include "failure.h"
#include "orberecordset.h"
#include "runfixture.h"
#include "testfiles.h"
#include "workbookrows.h"

#include <QFile>
#include <QtTest>

namespace {

const QString CRLF = QStringLiteral("\r\n");
const QString Match101 = QStringLiteral("            JagdbezirksSammlung: 1001, Eigenjagd Hofberg\r\n"
                                        "            JagdbezirkDatenBayern: 12, Hofberg\r\n");

// Collection 101 (kind 1) holds district 12, known in two hunting years; 102 is
// of another kind; 103 holds district 0; 104 holds district 448, which already
// has a record for 2021 (of another species, with an unusual last year).
void fillDistricts(TestDatabase &db)
{
    db.execute("insert into JagdbezirksSammlung (JagdbezirksSammlung_ID_PK, JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK, "
               "JagdbezirksSammlung_Lfdnr, JagdbezirksSammlung_Name) values "
               "(101, 1, '1001', 'Eigenjagd Hofberg'), (102, 2, '1002', 'Hegering Tal'), "
               "(103, 1, '1003', 'Nullrevier'), (104, 1, '1004', 'Waldgemeinschaft')");
    db.execute("insert into Jagdbezirk (Jagdbezirk_ID_PK, Jagdbezirk_Sammlung_ID_FK) values "
               "(201, 101), (202, 102), (203, 103), (204, 104)");
    db.execute("insert into JagdbezirkDatenBayern (JagdbezirkDatenBayern_Jagdbezirk_ID_FK, JagdbezirkDatenBayern_Lfdnr, "
               "JagdbezirkDatenBayern_Jagdjahr, JagdbezirkDatenBayern_Reviername) values "
               "(201, 12, 2019, 'Hofberg alt'), (201, 12, 2022, 'Hofberg'), (201, 12, 2020, 'Hofberg mittel'), "
               "(202, 13, 2022, 'Tal'), (203, 0, 2022, 'Null'), (204, 448, 2022, 'Wald')");
    db.execute("insert into ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, IdWildart, JagdjahrVon, "
               "JagdjahrBis, IdVerbissbelastung, IdAenderungVerbissbelastung) values "
               "(104, (select min(Wildart_ID_PK) from Wildart where Wildart_Name <> 'Rehwild'), 2021, 2025, 11, 30)");
}

const WorkbookRows Headings = {
    {"Nr", "Lfdnr", "frei", "Revier", "Verbiss", "Änderung", "Jahr"},
};

// Found and inserted, of another kind, zero with a word for the pressure,
// found and updated, unknown; an empty number ends the data before row 8.
WorkbookRows mixedRows()
{
    return Headings + WorkbookRows{
        {" A1 ", 12, QVariant(), "Hofberg", 3, 0, 2021},
        {"A2", " 13 ", QVariant(), "Tal", 2, 1, 2021},
        {"A3", 0, QVariant(), "Null", "günstig", 4, 2022},
        {"A4", 448, QVariant(), "Wald", 4, 3, 2021},
        {"A5", 999, QVariant(), "Unbekannt", 1, 1, 2021},
        {"A6", QVariant(), QVariant(), "nach dem Ende", 1, 1, 2021},
        {"A7", 12, QVariant(), "nie gelesen", 1, 1, 1999},
    };
}

QString record(RunFixture &f, int collection, int year)
{
    return f.record(collection, year, {"IdWildart", "JagdjahrBis", "IdVerbissbelastung", "IdAenderungVerbissbelastung"});
}

} // namespace

class DistrictRunsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void statementPattern_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("formatted");
        QTest::newRow("padded") << "12" << "00012";
        QTest::newRow("three digits") << "448" << "00448";
        QTest::newRow("zero shows four places") << "0" << "0000";
        QTest::newRow("leading zeros") << "0012" << "00012";
        QTest::newRow("more than five digits") << "1234567" << "1234567";
    }
    void statementPattern()
    {
        QFETCH(QString, number);
        QFETCH(QString, formatted);
        QCOMPARE(districtStatement(number, 2),
                 "select * from JagdbezirksSammlung, Jagdbezirk, JagdbezirkDatenBayern\r\n"
                 " where JagdbezirksSammlung_ID_PK = Jagdbezirk_Sammlung_ID_FK"
                 " and JagdbezirkDatenBayern_Jagdbezirk_ID_FK = Jagdbezirk_ID_PK"
                 " and JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK = 1"
                 " and JagdbezirkDatenBayern_Lfdnr = " + formatted +
                 " order by JagdbezirkDatenBayern_Jagdjahr desc");
    }

    void kinds_data()
    {
        QTest::addColumn<QString>("kind");
        for (const QString &kind : TestDatabase::kinds())
            QTest::newRow(qPrintable(kind)) << kind;
    }

    void checkListsEveryRow_data() { kinds_data(); }
    void checkListsEveryRow()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        fillDistricts(db);
        RunFixture f(db);
        f.workbook("bezirke.xlsx", mixedRows());

        runDistrictCheck(f.host);

        QVERIFY(f.errors.reports.isEmpty());
        QCOMPARE(f.host.log,
                 CRLF + "Excel Zeile (2) 12, Hofberg" + CRLF + Match101
                 + CRLF + "Excel Zeile (3) 13, Tal" + CRLF + "     Lfdnr nicht im Erhebungsbogen       " + CRLF
                 + CRLF + "Excel Zeile (4) 0, Null" + CRLF
                 + "            JagdbezirksSammlung: 1003, Nullrevier" + CRLF
                 + "            JagdbezirkDatenBayern: 0, Null" + CRLF
                 + CRLF + "Excel Zeile (5) 448, Wald" + CRLF
                 + "            JagdbezirksSammlung: 1004, Waldgemeinschaft" + CRLF
                 + "            JagdbezirkDatenBayern: 448, Wald" + CRLF
                 + CRLF + "Excel Zeile (6) 999, Unbekannt" + CRLF + "     Lfdnr nicht im Erhebungsbogen       " + CRLF);
        QCOMPARE(f.host.progressMaximums, QList<float>{6});
        QCOMPARE(f.host.progressValues, (QList<float>{2, 3, 4, 5, 6, 0}));
        QCOMPARE(f.host.importEnabled, std::optional<bool>(true));
        QCOMPARE(f.scalar("select count(*) from ForstlichesGutachtenZurAbschussplanung"), QStringLiteral("1"));
        QVERIFY(f.logFiles().isEmpty());
    }

    // The check once stopped at row 206 while the import went on to row 10000.
    void checkCoversTheRowsTheImportTakes_data() { kinds_data(); }
    void checkCoversTheRowsTheImportTakes()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        RunFixture f(db);
        WorkbookRows rows = Headings;
        for (int i = 0; i < 299; ++i)
            rows << QVariantList{"x", 900 + i, QVariant(), "Revier", 1, 1, 2021};
        f.workbook("lang.csv", rows);

        runDistrictCheck(f.host);

        QVERIFY(f.errors.reports.isEmpty());
        QVERIFY(f.host.log.contains("Excel Zeile (300) 1198, Revier"));
        QCOMPARE(f.host.progressMaximums, QList<float>{300});
        QCOMPARE(f.host.state.currentRow, 301);
    }

    // The runs read no further than they look: damage below the last row
    // they examine does not stop them.
    void runsDoNotReadBelowTheRowsTheyExamine_data() { kinds_data(); }
    void runsDoNotReadBelowTheRowsTheyExamine()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        fillDistricts(db);
        RunFixture f(db);
        appendUnreadableRow(f.workbook("lang.csv", Headings + WorkbookRows{{"A1", 12, QVariant(), "Hofberg", 3, 0, 2021}}),
                            LastExaminedRow + 1);

        runDistrictCheck(f.host);
        runDistrictImport(f.host);

        QVERIFY(f.errors.reports.isEmpty());
        QCOMPARE(record(f, 101, 2021), QString::number(f.rehwildKey()) + " 2023 13 36");
    }

    void importAddsAndUpdates_data() { kinds_data(); }
    void importAddsAndUpdates()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        fillDistricts(db);
        RunFixture f(db);
        const QString path = f.workbook("bezirke.xlsx", mixedRows());
        const QString otherSpecies = f.scalar("select IdWildart from ForstlichesGutachtenZurAbschussplanung");

        runDistrictImport(f.host);

        QVERIFY2(f.errors.reports.isEmpty(), f.errors.reports.isEmpty() ? "" : qPrintable(f.errors.reports[0].toText()));
        const QStringList lines = f.host.log.split(CRLF);
        QCOMPARE(lines.value(0), "Protokoll für: Forstliches Tarvel");
        QVERIFY2(QRegularExpression("^\\d\\d\\.\\d\\d\\.\\d{4} \\d\\d:\\d\\d:\\d\\d$").match(lines.value(1)).hasMatch(), qPrintable(lines.value(1)));
        QCOMPARE(lines.value(2), "Quelle: " + path);
        const QString header = lines.mid(0, 3).join(CRLF) + CRLF;
        QCOMPARE(f.host.log.mid(header.size()),
                 CRLF + "Excel Zeile (2) 12, Hofberg" + CRLF + Match101
                 + "(Zeile 2)\t hinzugefügt:  A1 , Hofberg, 12, 2021" + CRLF
                 + CRLF + "Excel Zeile (3) 13, Tal" + CRLF
                 + CRLF + "(Zeile 3) Jagdbezirk (Laufende Nummer) nicht in der Datenbank: Tal, 13, 2021" + CRLF + CRLF
                 + CRLF + "Excel Zeile (4) 0, Null" + CRLF
                 + "            JagdbezirksSammlung: 1003, Nullrevier" + CRLF
                 + "            JagdbezirkDatenBayern: 0, Null" + CRLF
                 + "(Zeile 4)\t hinzugefügt: A3, Null, 0, 2022" + CRLF
                 + CRLF + "Excel Zeile (5) 448, Wald" + CRLF
                 + "            JagdbezirksSammlung: 1004, Waldgemeinschaft" + CRLF
                 + "            JagdbezirkDatenBayern: 448, Wald" + CRLF
                 + "(Zeile 5)\t aktualisiert: A4, Wald, 448, 2021" + CRLF
                 + CRLF + "Excel Zeile (6) 999, Unbekannt" + CRLF
                 + CRLF + "(Zeile 6) Jagdbezirk (Laufende Nummer) nicht in der Datenbank: Unbekannt, 999, 2021" + CRLF + CRLF);

        const QString rehwild = QString::number(f.rehwildKey());
        QCOMPARE(record(f, 101, 2021), rehwild + " 2023 13 36");
        QCOMPARE(record(f, 103, 2022), rehwild + " 2024 12 31"); // "günstig" is no digit: fallback
        QCOMPARE(record(f, 104, 2021), otherSpecies + " 2025 14 32"); // only the codes change
        QCOMPARE(f.scalar("select count(*) from ForstlichesGutachtenZurAbschussplanung"), QStringLiteral("3"));

        QCOMPARE(f.host.progressMaximums, QList<float>{6});
        QCOMPARE(f.host.progressValues.last(), 0.0f);
        QCOMPARE(f.host.importEnabled, std::optional<bool>(false));
        const QStringList files = f.logFiles();
        QCOMPARE(files.size(), 1);
        const QString logFile = f.folder.filePath(files[0]);
        QCOMPARE(QString::fromUtf8(fileBytes(logFile)), f.host.log);
        QCOMPARE(f.host.messages.size(), 1);
        QCOMPARE(f.host.messages[0].title, "Tarvel");
        QCOMPARE(f.host.messages[0].icon, MessageIcon::Information);
        QCOMPARE(f.host.messages[0].text, "Import beendet" + CRLF + "Protokolldatei: " + CRLF + logFile);

        // A second import finds every record and only updates.
        runDistrictImport(f.host);
        QVERIFY(f.errors.reports.isEmpty());
        QCOMPARE(f.host.log.count("aktualisiert"), 3);
        QCOMPARE(f.host.log.count("hinzugefügt"), 0);
        QCOMPARE(f.scalar("select count(*) from ForstlichesGutachtenZurAbschussplanung"), QStringLiteral("3"));
        QCOMPARE(f.logFiles().size(), 2); // never overwritten
    }

    void failureEndsTheRunAtTheRow_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QVariant>("number");
        QTest::addColumn<QVariant>("year");
        QTest::addColumn<int>("line");
        QTest::addColumn<long>("errorNumber");
        QTest::addColumn<QString>("named");
        for (const QString &kind : TestDatabase::kinds()) {
            QTest::addRow("%s: year no number", qPrintable(kind)) << kind << QVariant(448) << QVariant("20/21") << 160
                                                                  << ErrorNumber::TypeMismatch << "20/21";
            QTest::addRow("%s: year empty", qPrintable(kind)) << kind << QVariant(448) << QVariant() << 160
                                                              << ErrorNumber::TypeMismatch << "Zeile 3";
            QTest::addRow("%s: year overflows plus 2", qPrintable(kind)) << kind << QVariant(12) << QVariant(2147483647)
                                                                         << 240 << ErrorNumber::Overflow << "2147483647";
            // Column 2 goes into the statement unquoted: no SQL may ever see it.
            QTest::addRow("%s: number is text", qPrintable(kind)) << kind << QVariant("12 or 1=1") << QVariant(2021)
                                                                  << 110 << ErrorNumber::TypeMismatch << "12 or 1=1";
            QTest::addRow("%s: number is a fraction", qPrintable(kind)) << kind << QVariant(12.5) << QVariant(2021)
                                                                        << 110 << ErrorNumber::TypeMismatch << "12,5";
        }
    }
    void failureEndsTheRunAtTheRow()
    {
        QFETCH(QString, kind);
        QFETCH(QVariant, number);
        QFETCH(QVariant, year);
        QFETCH(int, line);
        QFETCH(long, errorNumber);
        QFETCH(QString, named);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        fillDistricts(db);
        RunFixture f(db);
        f.workbook("bezirke.xlsx", Headings + WorkbookRows{{"A1", 12, QVariant(), "Hofberg", 3, 0, 2021},
                                                           {"A2", number, QVariant(), "Fehler", 3, 0, year},
                                                           {"A3", 0, QVariant(), "Null", 3, 0, 2021}});
        f.host.importEnabled = true; // as the check left it
        const QString rehwild = QString::number(f.rehwildKey());

        runDistrictImport(f.host);

        QCOMPARE(f.errors.reports.size(), 1);
        const ErrorReportEntry &report = f.errors.reports[0];
        QCOMPARE(report.place, "frmTest");
        QCOMPARE(report.procedure, "cmdImportStarten_Click");
        QCOMPARE(report.line, line);
        QCOMPARE(report.number, errorNumber);
        QVERIFY2(report.description.contains(named), qPrintable(report.description));
        QCOMPARE(record(f, 101, 2021), rehwild + " 2023 13 36"); // the row before stays saved
        QCOMPARE(record(f, 104, 2021).section(u' ', 1), "2025 11 30"); // the failing row saved nothing
        QCOMPARE(record(f, 103, 2021), "fehlt");                    // nothing after it
        QVERIFY(f.logFiles().isEmpty());
        QVERIFY(f.host.messages.isEmpty());
        QCOMPARE(f.host.importEnabled, std::optional<bool>(true));
        QVERIFY(f.host.log.contains("(Zeile 2)\t hinzugefügt: A1, Hofberg, 12, 2021"));
        QVERIFY(!f.host.log.contains("Excel Zeile (4)"));
    }

    void importOfAnEmptyWorkbookWritesTheHeader_data() { kinds_data(); }
    void importOfAnEmptyWorkbookWritesTheHeader()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        RunFixture f(db);
        f.workbook("leer.xlsx", Headings + WorkbookRows{{"A1", QVariant(), QVariant(), "ohne Nummer", 1, 1, 2021}});

        runDistrictImport(f.host);

        QVERIFY(f.errors.reports.isEmpty());
        QCOMPARE(f.host.log.count(CRLF), 3);
        QCOMPARE(f.host.progressMaximums, QList<float>{0});
        QCOMPARE(f.logFiles().size(), 1);
        QCOMPARE(f.host.messages.size(), 1);
    }

    void workbookThatDoesNotOpenKeepsThePreviousLog_data() { kinds_data(); }
    void workbookThatDoesNotOpenKeepsThePreviousLog()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        RunFixture f(db);
        f.host.log = QStringLiteral("vorheriges Protokoll");
        f.host.state.workbookPath = f.folder.filePath("fehlt.xlsx");

        runDistrictCheck(f.host);
        runDistrictImport(f.host);

        QCOMPARE(f.errors.reports.size(), 2);
        QCOMPARE(f.errors.reports[0].procedure, "cmdImportTest_Click(");
        QCOMPARE(f.errors.reports[1].procedure, "cmdImportStarten_Click");
        for (const ErrorReportEntry &report : f.errors.reports) {
            QCOMPARE(report.line, 30);
            QCOMPARE(report.number, ErrorNumber::FileNotFound);
        }
        QCOMPARE(f.host.log, "vorheriges Protokoll");
        QVERIFY(!f.host.importEnabled.has_value());
    }
};

QTEST_GUILESS_MAIN(DistrictRunsTest)
#include "tst_districtruns.moc"
