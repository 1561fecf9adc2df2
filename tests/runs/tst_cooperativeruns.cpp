// The cooperative window's check and import runs, through the run host, on
// real databases and real workbook files.
#include "cooperativeruns.h"
#include "failure.h"
#include "orberecordset.h"
#include "runfixture.h"
#include "workbookrows.h"

#include <QFile>
#include <QtTest>

namespace {

const QString CRLF = QStringLiteral("\r\n");
const QString Indent17 = QString(17, u' ');

const QVariantList Headings = {"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"};

QVariantList cooperativeRow(const QVariant &number, const QVariant &year, const QString &name, const QVariant &pressure,
                            const QVariant &cull)
{
    return {number, year, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", name, pressure, cull};
}

// 448 has two records, 449 none, 450 one with an empty code, 4'51 none; one
// collection has no number at all, which no empty Hgnr may find.
void fillCooperatives(TestDatabase &db)
{
    db.execute("insert into JagdbezirksSammlung (JagdbezirksSammlung_ID_PK, JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK, "
               "JagdbezirksSammlung_Lfdnr, JagdbezirksSammlung_Name) values "
               "(301, 2, '448', 'HG Naila'), (302, 2, '449', 'HG Helmbrechts'), (303, 1, '450', 'HG Schwarzenbach'), "
               "(305, 2, '4''51', 'HG Apostroph'), (306, 2, null, 'HG ohne Nummer')");
    db.execute("insert into ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, IdWildart, JagdjahrVon, "
               "JagdjahrBis, IdVerbissbelastung, IdForstlicheAbschussEmpfehlung) values "
               "(301, (select min(Wildart_ID_PK) from Wildart where Wildart_Name <> 'Rehwild'), 2018, 2020, 12, 16), "
               "(301, (select min(Wildart_ID_PK) from Wildart where Wildart_Name <> 'Rehwild'), 2021, 2025, 11, 15), "
               "(303, (select min(Wildart_ID_PK) from Wildart where Wildart_Name = 'Rehwild'), 2021, 2023, null, 17)");
}

QString record(RunFixture &f, int collection, int year)
{
    return f.record(collection, year, {"IdWildart", "JagdjahrBis", "IdVerbissbelastung", "IdForstlicheAbschussEmpfehlung"});
}

// The listing of one record, in the schema's column order, names compared
// without regard to case (PostgreSQL folds them).
QString listingPattern(int collection, const QString &species, int from, int to, const QString &pressure,
                       const QString &cull)
{
    return QStringLiteral("\\w+=\\d+, IdJagdbezirksSammlung=%1, IdWildart=%2, JagdjahrVon=%3, JagdjahrBis=%4, "
                          "IdVerbissbelastung=%5, IdForstlicheAbschussEmpfehlung=%6, IdAenderungVerbissbelastung=, "
                          "(\\w+=[^,]*, )*")
        .arg(collection).arg(species).arg(from).arg(to).arg(pressure, cull);
}

void verifyLine(const QString &line, const QString &pattern)
{
    const QRegularExpression expression(u'^' + pattern + u'$', QRegularExpression::CaseInsensitiveOption);
    QVERIFY2(expression.match(line).hasMatch(), qPrintable(line + "\n does not match\n" + pattern));
}

} // namespace

class CooperativeRunsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void kinds_data()
    {
        QTest::addColumn<QString>("kind");
        for (const QString &kind : TestDatabase::kinds())
            QTest::newRow(qPrintable(kind)) << kind;
    }

    void filterDoublesQuotes()
    {
        QCOMPARE(cooperativeFilter("448"), "JagdbezirksSammlung_Lfdnr = '448'");
        QCOMPARE(cooperativeFilter("4'51"), "JagdbezirksSammlung_Lfdnr = '4''51'");
        QCOMPARE(cooperativeFilter(""), "JagdbezirksSammlung_Lfdnr = ''");
    }

    void checkListsBlocks_data() { kinds_data(); }
    void checkListsBlocks()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        fillCooperatives(db);
        RunFixture f(db);
        const QString path = f.workbook("hg.xlsx", WorkbookRows{
            Headings,
            cooperativeRow(448, 2021, "Naila", 3, 4),
            cooperativeRow(" 448 ", 2021, "Naila", "zu_hoch", "beibehalten"),
            cooperativeRow(448, 2024, "Naila", 1, 1),
            cooperativeRow(449, 2021, "Helmbrechts", 2, 2),
            cooperativeRow(999, 2021, "Unbekannt", 2, 2),
            cooperativeRow(999, 2022, "Unbekannt", 2, 2),
            cooperativeRow(QVariant(), 2021, "Ohne Nummer", 2, 2),
            cooperativeRow(QVariant(), 2022, "Ohne Nummer", 2, 2),
            cooperativeRow(448, 2021, "Naila", 3, 4),
            cooperativeRow(450, 2021, "Schwarzenbach", 3, 4),
            cooperativeRow(451, QVariant(), "nach dem Ende", 3, 4),
            cooperativeRow(451, 2021, "nie gelesen", 3, 4),
        });
        const QString otherSpecies = f.scalar("select min(Wildart_ID_PK) from Wildart where Wildart_Name <> 'Rehwild'");
        const QString rehwild = QString::number(f.rehwildKey());

        runCooperativeCheck(f.host);

        QVERIFY(f.errors.reports.isEmpty());
        const QString row448 = "448, 2021, 475, Landkreis Hof, bm, Bayreuth-Münchberg, Naila, 3, 4";
        const QStringList lines = f.host.log.split(CRLF);
        const QStringList expected = {
            "Erwarten Aufbau der Exceldatei: ",
            "Hgnr  Jahr  Lkr Lkrname Alf_kurz  Alf_lang  Hgname  Belast  Abschuss",
            "448 2021  475 Landkreis Hof bm  Bayreuth-Münchberg  Naila 3 4",
            "",
            "Gefundene Aufbau:",
            "Quelle: " + path,
            "Hgnr\tJahr\tLkr\tLkrname\tAlf_kurz\tAlf_lang\tHgname\tBelast\tAbschuss\t",
            "448\t2021\t475\tLandkreis Hof\tbm\tBayreuth-Münchberg\tNaila\t3\t4\t",
            "",
            "Zum importieren: " + row448,
            "<448>",
            Indent17 + " 448 , 2021, 475, Landkreis Hof, bm, Bayreuth-Münchberg, Naila, zu_hoch, beibehalten",
            Indent17 + "448, 2024, 475, Landkreis Hof, bm, Bayreuth-Münchberg, Naila, 1, 1",
            "",
            "Zum importieren: 449, 2021, 475, Landkreis Hof, bm, Bayreuth-Münchberg, Helmbrechts, 2, 2",
            "", // no records
            "",
            "Hegegemeinschaft (Laufende Nummer) nicht in der Datenbank: 999, Unbekannt, 2021",
            "",
            "Hegegemeinschaft (Laufende Nummer) nicht in der Datenbank: , Ohne Nummer, 2021",
            "",
            "Zum importieren: " + row448,
            "<448>",
            "",
            "Zum importieren: 450, 2021, 475, Landkreis Hof, bm, Bayreuth-Münchberg, Schwarzenbach, 3, 4",
            "<450>",
            "",
        };
        QCOMPARE(lines.size(), expected.size());
        for (int i = 0; i < lines.size(); ++i) {
            if (expected[i] == "<448>") {
                verifyLine(lines[i], listingPattern(301, otherSpecies, 2018, 2020, "12", "16")
                                         + listingPattern(301, otherSpecies, 2021, 2025, "11", "15"));
            } else if (expected[i] == "<450>") {
                verifyLine(lines[i], listingPattern(303, rehwild, 2021, 2023, "", "17"));
            } else {
                QCOMPARE(lines[i], expected[i]);
            }
        }
        QCOMPARE(f.host.progressMaximums, QList<float>{11});
        QCOMPARE(f.host.progressValues.last(), 0.0f);
        QCOMPARE(f.host.importEnabled, std::optional<bool>(true));
        QCOMPARE(f.host.state.currentRow, 12);
        QVERIFY(f.logFiles().isEmpty());
        QCOMPARE(f.scalar("select count(*) from ForstlichesGutachtenZurAbschussplanung"), "3");

        // Twice gives the same text.
        const QString first = f.host.log;
        runCooperativeCheck(f.host);
        QCOMPARE(f.host.log, first);
    }

    // The check once stopped at row 206 while the import went on to row 10000.
    void checkCoversTheRowsTheImportTakes_data() { kinds_data(); }
    void checkCoversTheRowsTheImportTakes()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        RunFixture f(db);
        WorkbookRows rows{Headings};
        for (int i = 0; i < 299; ++i)
            rows << cooperativeRow(1000 + i, 2021, "HG", 1, 1);
        f.workbook("lang.csv", rows);

        runCooperativeCheck(f.host);

        QVERIFY(f.errors.reports.isEmpty());
        QVERIFY(f.host.log.contains("nicht in der Datenbank: 1298, HG, 2021"));
        QCOMPARE(f.host.progressMaximums, QList<float>{300});
    }

    // The runs read no further than they look: damage below the last row
    // they examine does not stop them.
    void runsDoNotReadBelowTheRowsTheyExamine_data() { kinds_data(); }
    void runsDoNotReadBelowTheRowsTheyExamine()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        RunFixture f(db);
        appendUnreadableRow(f.workbook("lang.csv", WorkbookRows{Headings, cooperativeRow(1000, 2021, "HG", 1, 1)}),
                            LastExaminedRow + 1);

        runCooperativeCheck(f.host);
        QVERIFY(f.host.log.contains("nicht in der Datenbank: 1000, HG, 2021"));
        runCooperativeImport(f.host);

        QVERIFY(f.errors.reports.isEmpty());
        QCOMPARE(f.logFiles().size(), 1);
    }

    void importAddsAndUpdates_data() { kinds_data(); }
    void importAddsAndUpdates()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        fillCooperatives(db);
        RunFixture f(db);
        f.workbook("hg.xlsx", WorkbookRows{
            Headings,
            cooperativeRow(448, 2021, "Naila", "zu_hoch", "beibehalten"),
            cooperativeRow(" 448 ", 2024, "Naila", 3, 3),
            cooperativeRow(449, 2021, "Helmbrechts", "zu hoch", QVariant()),
            cooperativeRow(999, 2021, "Unbekannt", 1, 1),
            cooperativeRow(449, 2021, "Helmbrechts", "günstig", "deutlich_erhöhen"),
            cooperativeRow("4'51", "2021", "Apostroph", "1", "5"),
            cooperativeRow(QVariant(), 2021, "Ohne Nummer", 1, 1),
            cooperativeRow(448, 2030, "nie importiert", 1, 1),
        });
        const QString otherSpecies = f.scalar("select min(Wildart_ID_PK) from Wildart where Wildart_Name <> 'Rehwild'");
        const QString rehwild = QString::number(f.rehwildKey());

        runCooperativeImport(f.host);

        QVERIFY2(f.errors.reports.isEmpty(), f.errors.reports.isEmpty() ? "" : qPrintable(f.errors.reports[0].toText()));
        const QStringList lines = f.host.log.split(CRLF);
        QCOMPARE(lines.value(0), "Protokoll für: Forstliches Tarvel");
        QCOMPARE(lines.mid(3), (QStringList{
            "(Zeile 2)\t aktualisiert: 448, 2021, 475, Landkreis Hof, bm, Bayreuth-Münchberg, Naila, zu_hoch, beibehalten",
            "(Zeile 3) hinzugefügt:  448 , 2024, 475, Landkreis Hof, bm, Bayreuth-Münchberg, Naila, 3, 3",
            "(Zeile 4) hinzugefügt: 449, 2021, 475, Landkreis Hof, bm, Bayreuth-Münchberg, Helmbrechts, zu hoch, ",
            "",
            "(Zeile 5) Hegegemeinschaft (Laufende Nummer) nicht in der Datenbank: 999, Unbekannt, 2021",
            "(Zeile 6)\t aktualisiert: 449, 2021, 475, Landkreis Hof, bm, Bayreuth-Münchberg, Helmbrechts, günstig, deutlich_erhöhen",
            "(Zeile 7) hinzugefügt: 4'51, 2021, 475, Landkreis Hof, bm, Bayreuth-Münchberg, Apostroph, 1, 5",
            "",
        }));
        QCOMPARE(record(f, 301, 2021), otherSpecies + " 2025 13 17"); // keys, species and last year kept
        QCOMPARE(record(f, 301, 2018), otherSpecies + " 2020 12 16"); // another year untouched
        QCOMPARE(record(f, 301, 2024), rehwild + " 2026 13 17");
        QCOMPARE(record(f, 302, 2021), rehwild + " 2023 11 19");      // the same number and year twice
        QCOMPARE(record(f, 305, 2021), rehwild + " 2023 11 19");
        QCOMPARE(record(f, 301, 2030), "fehlt");                      // below the empty number
        QCOMPARE(f.host.progressMaximums, QList<float>{9});
        QCOMPARE(f.host.importEnabled, std::optional<bool>(false));
        QCOMPARE(f.logFiles().size(), 1);
        QCOMPARE(f.host.messages.size(), 1);
        QCOMPARE(f.host.messages[0].icon, MessageIcon::Information);

        // Again: every found row is updated, nothing is added.
        runCooperativeImport(f.host);
        QVERIFY(f.errors.reports.isEmpty());
        QCOMPARE(f.host.log.count("hinzugefügt"), 0);
        QCOMPARE(f.host.log.count("aktualisiert"), 5);
        QCOMPARE(record(f, 302, 2021), rehwild + " 2023 11 19"); // the later row wins again
        QCOMPARE(f.scalar("select count(*) from ForstlichesGutachtenZurAbschussplanung"), "6");
    }

    void yearThatIsNoNumberEndsTheImport_data() { kinds_data(); }
    void yearThatIsNoNumberEndsTheImport()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        fillCooperatives(db);
        RunFixture f(db);
        f.workbook("hg.csv", WorkbookRows{
            Headings,
            cooperativeRow(449, 2021, "Helmbrechts", 4, 1),
            cooperativeRow(448, "2021/22", "Naila", 4, 1),
            cooperativeRow(450, 2021, "Schwarzenbach", 4, 1),
        });
        f.host.importEnabled = true;
        const QString rehwild = QString::number(f.rehwildKey());

        runCooperativeImport(f.host);

        QCOMPARE(f.errors.reports.size(), 1);
        QCOMPARE(f.errors.reports[0].procedure, "cmdImportStarten_Click");
        QCOMPARE(f.errors.reports[0].number, ErrorNumber::TypeMismatch);
        QCOMPARE(f.errors.reports[0].line, 150);
        QVERIFY(f.errors.reports[0].description.contains("2021/22"));
        QCOMPARE(record(f, 302, 2021), rehwild + " 2023 14 15");
        QCOMPARE(record(f, 303, 2021), rehwild + " 2023  17");
        QVERIFY(f.logFiles().isEmpty());
        QVERIFY(f.host.messages.isEmpty());
        QCOMPARE(f.host.importEnabled, std::optional<bool>(true));
    }

    void emptyWorkbook_data() { kinds_data(); }
    void emptyWorkbook()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        RunFixture f(db);
        f.workbook("leer.xlsx", WorkbookRows{Headings, cooperativeRow(448, QVariant(), "ohne Jahr", 1, 1)});

        runCooperativeCheck(f.host);
        QVERIFY(f.errors.reports.isEmpty());
        QVERIFY(f.host.log.endsWith("448\t\t475\tLandkreis Hof\tbm\tBayreuth-Münchberg\tohne Jahr\t1\t1\t\r\n"));
        QCOMPARE(f.host.importEnabled, std::optional<bool>(true));

        runCooperativeImport(f.host);
        QVERIFY(f.errors.reports.isEmpty());
        QCOMPARE(f.host.log.count(CRLF), 3);
        QCOMPARE(f.host.progressMaximums.last(), 0.0f);
        QCOMPARE(f.logFiles().size(), 1);
    }
};

QTEST_GUILESS_MAIN(CooperativeRunsTest)
#include "tst_cooperativeruns.moc"
