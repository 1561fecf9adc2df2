// What every run stands on: the assessment codes, the conversions, the species
// lookup and the log's bound. (The runs' golden files show the rest.)
#include "assessmentcodes.h"
#include "conversions.h"
#include "failure.h"
#include "failuretrap.h"
#include "importlog.h"
#include "qtwarnings.h"
#include "runfixture.h"
#include "specieslookup.h"
#include "testfiles.h"
#include "testmain.h"
#include "workbooklayout.h"
#include <QtTest>

class ImportFrameTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnQtWarnings(); }
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Every text of tests/data/runs/codes.txt gets the codes written beside it.
    void codes()
    {
        const QStringList table = QString::fromUtf8(fileBytes(TARVEL_TEST_DATA "/runs/codes.txt")).split(u'\n');
        QVERIFY(table.size() > 20);
        for (const QString &line : table) {
            if (line.isEmpty() || line.startsWith(u'#'))
                continue;
            const QString text = line.section(u'\t', 0, 0);
            const QString codes = QStringList{text, QString::number(browsingPressureCode(text)),
                                              QString::number(browsingPressureDigitCode(text)),
                                              QString::number(cullRecommendationCode(text)),
                                              QString::number(browsingPressureChangeCode(text))}.join(u'\t');
            QCOMPARE(codes, line);
        }
    }

    void wholeNumbers_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<long>("error"); // 0: converts
        QTest::addColumn<int>("value");
        QTest::newRow("signed") << "-7" << 0L << -7;
        QTest::newRow("largest") << "2147483647" << 0L << 2147483647;
        QTest::newRow("too large") << "2147483648" << ErrorNumber::Overflow << 0;
        QTest::newRow("empty") << "" << ErrorNumber::TypeMismatch << 0;
        QTest::newRow("sign only") << "-" << ErrorNumber::TypeMismatch << 0;
    }
    void wholeNumbers()
    {
        QFETCH(QString, text);
        QFETCH(long, error);
        try {
            const qint32 value = toInt32(text, QStringLiteral("Zeile 9, Spalte 7 (Jahr)"));
            QCOMPARE(error, 0L);
            QTEST(int(value), "value");
        } catch (const Failure &failure) {
            QCOMPARE(failure.number(), error);
            QVERIFY(failure.description().contains("Zeile 9, Spalte 7"));
        }
    }

    // How failure descriptions quote a cell: short, on one line, never half a
    // character outside the Basic Multilingual Plane.
    void quotedValues_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("quoted");
        const QString forty(40, u'x');
        QTest::newRow("short") << "20/21" << "„20/21“";
        QTest::newRow("line breaks shown") << "a\r\nb\u2028c" << "„a␍␊b␤c“";
        QTest::newRow("NUL shown") << QString::fromUtf16(u"a\0b\v\f\u0085\u2029", 7) << "„a␀b␋␌␤␤“";
        QTest::newRow("forty characters whole") << forty << "„" + forty + "“";
        QTest::newRow("longer cut") << forty + "y" << "„" + forty + "…“ (41 Zeichen)";
        QTest::newRow("pair at the cut kept whole")
            << QString(39, u'x') + "🦌z" << "„" + QString(39, u'x') + "…“ (42 Zeichen)";
    }
    void quotedValues()
    {
        QFETCH(QString, text);
        QTEST(quotedValue(text), "quoted");
    }

    void speciesLookup_data()
    {
        QTest::addColumn<QString>("kind");
        for (const QString &kind : TestDatabase::kinds())
            QTest::newRow(qPrintable(kind)) << kind;
    }
    void speciesLookup()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        db.execute("insert into Wildart (Wildart_ID_PK, Wildart_Name, Wildart_Aktiv) values "
                   "(9001, 'Elchwild', False), (9002, 'Elchwild', True), (9003, 'Muffel', False), "
                   "(9004, 'O''Brien', True)");
        OrbeConnection &connection = *db.connection();
        const QString rehwild = RunFixture(db).scalar(
            "select Wildart_ID_PK from Wildart where Wildart_Name = 'Rehwild' and Wildart_Aktiv = True");

        QCOMPARE(QString::number(GetWildartId(connection, "Rehwild")), rehwild);
        QCOMPARE(GetWildartId(connection, "Elchwild"), 9002);   // the inactive row is not found
        QCOMPARE(GetWildartId(connection, "O'Brien"), 9004);   // the quote is doubled, not passed on
        for (const QString &missing : {QStringLiteral("Muffel"), QStringLiteral("Einhorn"), QStringLiteral("rehwild ")}) {
            try {
                GetWildartId(connection, missing);
                QFAIL(qPrintable("found " + missing));
            } catch (const Failure &failure) {
                QCOMPARE(failure.number(), ErrorNumber::NoCurrentRecord);
                QVERIFY(failure.description().contains(missing));
            }
        }
    }

    // Each workbook is judged in both windows by what its rows are. Verdicts:
    // fits, fits with a note (headings that differ), other kind, data in row
    // 1, a title row, no data row, no data row of the kind.
    void layoutVerdicts_data()
    {
        QTest::addColumn<QByteArray>("workbook");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("verdict");
        const QByteArray names = "Hgnr;Jahr;Lkr;Lkrname;Alf_kurz;Alf_lang;Hgname;Belast;Abschuss\r\n";
        const QByteArray c = "448;2024;475;Landkreis Hof;bm;Bayreuth;Naila;3;4\r\n999;2021;475;Hof;bm;B;Unbekannt;2;2\r\n";
        const QByteArray dNames = "Nr;Lfdnr;Hegering;Reviername;Verbiss;Tendenz;Jagdjahr\r\n";
        const QByteArray d = "A1;12;;Hofberg;3;0;2021\r\nA2;999;;Unbekannt;1;1;2021\r\n";
        const QByteArray bom = "\xEF\xBB\xBF", title = "Forstliches Gutachten 2024\r\n";
        // name, workbook, verdict in the district window, in the cooperative window
        const QList<std::tuple<const char *, QByteArray, const char *, const char *>> workbooks{
            {"cooperative names", names + c, "andere Art", "passt"},
            {"cooperative upper case", names.toUpper() + c, "andere Art", "passt"},
            {"HgNr", "HgNr" + names.mid(4) + c, "andere Art", "passt"},
            {"Hg-Nr, Alf kurz, alf-lang", "Hg-Nr;Jahr;Lkr;Lkr-Name;Alf kurz;alf-lang;Hg.name;Belast;Abschuss\r\n" + c, "andere Art", "passt"},
            {"blanks and dots", " Hgnr. ; JAHR ;lkr;Lkr name;ALF_KURZ;Alf.lang;HG-Name;belast;abschuss \r\n" + c, "andere Art", "passt"},
            {"no-break space", "Hg\xC2\xA0Nr" + names.mid(4) + c, "andere Art", "passt"},
            {"one heading empty", "Hgnr;Jahr;;Lkrname;Alf_kurz;Alf_lang;Hgname;Belast;Abschuss\r\n" + c, "andere Art", "Hinweis"},
            {"one heading misspelt", "Hgnr;Jahr;Landkreis;Lkrname;Alf_kurz;Alf_lang;Hgname;Belast;Abschuss\r\n" + c, "andere Art", "Hinweis"},
            {"seven of nine", "Hgnr;Jahr;;;Alf_kurz;Alf_lang;Hgname;Belast;Abschuss\r\n" + c, "andere Art", "Hinweis"},
            {"six of nine", "Hgnr;Jahr;;;;Alf_lang;Hgname;Belast;Abschuss\r\n" + c, "andere Art", "Hinweis"},
            {"eight without Hgnr", "Nummer" + names.mid(4) + c, "andere Art", "Hinweis"},
            {"cooperative without headings", "447;2024;475;Hof;bm;B;Rehau;2;2\r\n" + c, "andere Art", "Zeile 1"},
            {"cooperative with title", title + names + c, "andere Art", "Titel"},
            {"cooperative title, no headings", title + c, "andere Art", "Hinweis"},
            {"cooperative extra column right", names.chopped(2) + ";Bemerkung\r\n" + c, "andere Art", "passt"},
            {"cooperative extra column left", "Nr;" + names + "1;448;2024;475;Hof;bm;Bayreuth;Naila;3;4\r\n", "fremd", "fremd"},
            {"cooperative columns swapped", "Jahr;Hgnr;Lkr;Lkrname;Alf_kurz;Alf_lang;Hgname;Belast;Abschuss\r\n"
                                            "2024;448;475;Hof;bm;B;Naila;3;4\r\n", "fremd", "fremd"},
            {"cooperative headings only", names, "andere Art", "leer"},
            {"cooperative empty row 2", names + "\r\n" + c, "andere Art", "leer"},
            {"cooperative, BOM", bom + names + c, "andere Art", "passt"},
            {"cooperative, BOM and HgNr", bom + "HgNr" + names.mid(4) + c, "andere Art", "passt"},
            {"cooperative, sep line", "sep=;\r\n" + names + c, "andere Art", "passt"},
            {"cooperative, BOM and sep line", bom + "sep=;\r\n" + names + c, "andere Art", "passt"},
            {"cooperative, commas", QByteArray(names + c).replace(';', ','), "andere Art", "passt"},
            {"cooperative, sep=, line", "sep=,\r\n" + QByteArray(names + c).replace(';', ','), "andere Art", "passt"},
            {"cooperative, Windows-1252", names + "448;2024;475;Hof;bm;Bayreuth-M\xFCnchberg;M\xFCnchberg;3;4\r\n", "andere Art", "passt"},
            {"year 1899", names + "448;1899;475;Hof;bm;B;Naila;3;4\r\n", "andere Art", "fremd"},
            {"name a number", names + "448;2024;475;Hof;bm;B;4711;3;4\r\n", "andere Art", "fremd"},
            {"Hgnr signed", names + "+448;2024;475;Hof;bm;B;Naila;3;4\r\n", "andere Art", "fremd"},
            {"one of two rows fits", names + "448a;2024;475;Hof;bm;B;Naila;3;4\r\n" + c, "andere Art", "passt"},
            {"more district rows", names + c.left(c.indexOf('\n') + 1) + d + d, "andere Art", "andere Art"},
            {"cooperative headings, district rows", names + d, "andere Art", "andere Art"},
            {"district names", dNames + d, "passt", "andere Art"},
            {"district other names", "Nr;Lfdnr;frei;Revier;Verbiss;\xC3\x84nderung;Jahr\r\n" + d, "passt", "andere Art"},
            {"district upper case", dNames.toUpper() + d, "passt", "andere Art"},
            {"district row 1 empty", "\r\n" + d, "passt", "andere Art"},
            {"district without headings", "A0;11;;Hofberg;3;0;2021\r\n" + d, "Zeile 1", "andere Art"},
            {"district with title", title + dNames + d, "Titel", "andere Art"},
            {"district title, no headings", title + d, "passt", "andere Art"},
            {"district headings only", dNames, "leer", "leer"},
            {"district empty row 2", dNames + "\r\n" + d, "leer", "andere Art"},
            {"district, BOM", bom + dNames + d, "passt", "andere Art"},
            {"district, sep line", "sep=;\r\n" + dNames + d, "passt", "andere Art"},
            {"district, BOM and sep line", bom + "sep=;\r\n" + dNames + d, "passt", "andere Art"},
            {"district, commas", QByteArray(dNames + d).replace(';', ','), "passt", "andere Art"},
            {"district, quoted", "\"Nr\";\"Lfdnr\";\"x\";\"Revier\";\"V\";\"T\";\"Jahr\"\r\n\"A1\";\"12\";;\"Hof\";3;0;2021\r\n", "passt", "andere Art"},
            {"district, old Mac line ends", QByteArray(dNames + d).replace("\r\n", "\r"), "passt", "andere Art"},
            {"district, Windows-1252", "Nr;Lfdnr;frei;Revier;Verbiss;\xC4nderung;Jahr\r\n" + d, "passt", "andere Art"},
            {"district extra column right", dNames.chopped(2) + ";Bemerkung\r\n" + "A1;12;;Hof;3;0;2021;x\r\n", "passt", "andere Art"},
            {"district extra column left", "X;" + dNames + "x;A1;12;;Hofberg;3;0;2021\r\n", "fremd", "fremd"},
            {"district without year", dNames + "A1;12;;Hofberg;3;0\r\n", "fremd", "fremd"},
            {"Lfdnr with zeros and blanks", dNames + "A1;00012;;Hof;3;0;2021\r\nA2; 27 ;;Eiche;4;2;2021\r\n", "passt", "andere Art"},
            {"Lfdnr no number", dNames + "A1;12x;;Hof;3;0;2021\r\n", "fremd", "fremd"},
            {"Lfdnr signed", dNames + "A1;-12;;Hof;3;0;2021\r\n", "fremd", "fremd"},
            {"year 2101", dNames + "A1;12;;Hof;3;0;2101\r\n", "fremd", "fremd"},
            {"years 1900 and 2100", dNames + "A1;12;;Hof;3;0;1900\r\nA2;13;;Eiche;3;0;2100\r\n", "passt", "andere Art"},
            {"number and year in columns 1 and 2", dNames + "1;2024;a;Hochwald;2;1;2024\r\n", "passt", "andere Art"},
            {"Hgnr heading over district rows", "Hgnr;Lfdnr;x;Revier;V;T;Jahr\r\n" + d, "passt", "andere Art"},
            {"more cooperative rows", dNames + d.left(d.indexOf('\n') + 1) + c + c, "andere Art", "Hinweis"},
            {"empty file, which its run refuses", "", "passt", "passt"},
            {"shopping list", "Einkaufsliste\nBrot\n", "leer", "leer"},
            {"text in column 2", "Einkaufsliste\r\n1;Brot;2\r\n", "fremd", "fremd"},
        };
        for (const auto &[name, workbook, district, cooperative] : workbooks) {
            QTest::addRow("%s, district window", name) << workbook << "district" << district;
            QTest::addRow("%s, cooperative window", name) << workbook << "cooperative" << cooperative;
        }
    }
    void layoutVerdicts()
    {
        QFETCH(QByteArray, workbook);
        QFETCH(QString, kind);
        QFETCH(QString, verdict);
        QTemporaryDir folder;
        QVERIFY(writeFileBytes(folder.filePath("Mappe.csv"), workbook));
        const bool district = kind == "district";
        const LayoutFinding found = examineLayout(folder.filePath("Mappe.csv"), district ? WorkbookKind::District : WorkbookKind::Cooperative);
        using V = LayoutFinding::Verdict;
        const QMap<V, QString> said{{V::Fits, found.note.isEmpty() ? "passt" : "Hinweis"}, {V::OtherKind, "andere Art"},
                                    {V::FirstRowData, "Zeile 1"}, {V::TitleRow, "Titel"}, {V::NoDataRow, "leer"}, {V::NotItsKind, "fremd"}};
        QVERIFY2(said[found.verdict] == verdict, qPrintable(said[found.verdict] + ": " + found.notice + found.note));
        QCOMPARE(found.notice.isEmpty(), found.verdict == V::Fits);
        QVERIFY(found.notice.isEmpty() || found.notice.startsWith(district ? "Die Arbeitsmappe hat nicht den Aufbau für Jagdbezirke: "
                                                                           : "Die Arbeitsmappe hat nicht den Aufbau für Hegegemeinschaften: "));
    }

    // A log of more than 64 MB (32 Mi characters) ends the run at its row,
    // through the trap.
    void logBound()
    {
        TestRunHost host;
        RunSummary summary;
        host.log = QString(33554432, u'x');
        QVERIFY(!stopAfterRow(host, summary, 6));
        host.log += u'x';
        ErrorReportCapture capture;
        QVERIFY(!runTrapped("frmTest", "x", [&](ErrorLine &) { stopAfterRow(host, summary, 7); }));
        QVERIFY(capture.reports.value(0).description.startsWith("Das Protokoll wird zu groß: mit Zeile 7 "));
    }
};

TARVEL_TEST_GUILESS_MAIN(ImportFrameTest)
#include "tst_importframe.moc"
