// What every run stands on: the assessment codes, the conversions, the species
// lookup and the log's bound. (The runs' golden files show the rest.)
#include "assessmentcodes.h"
#include "conversions.h"
#include "failure.h"
#include "failuretrap.h"
#include "importlog.h"
#include "runfixture.h"
#include "specieslookup.h"
#include <QtTest>

class ImportFrameTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void codes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("pressure");      // cooperative: words and digits
        QTest::addColumn<int>("pressureDigit"); // district: digits only
        QTest::addColumn<int>("cull");
        QTest::addColumn<int>("change");
        QTest::newRow("1") << "1" << 11 << 11 << 15 << 30;
        QTest::newRow("2") << "2" << 12 << 12 << 16 << 31;
        QTest::newRow("3") << "3" << 13 << 13 << 17 << 32;
        QTest::newRow("4") << "4" << 14 << 14 << 18 << 31;
        QTest::newRow("5") << "5" << 12 << 12 << 19 << 31;
        QTest::newRow("0") << "0" << 12 << 12 << 16 << 36;
        QTest::newRow("günstig") << "günstig" << 11 << 12 << 16 << 31;
        QTest::newRow("tragbar") << "tragbar" << 12 << 12 << 16 << 31;
        QTest::newRow("zu_hoch") << "zu_hoch" << 13 << 12 << 16 << 31;
        QTest::newRow("deutlich_zu_hoch") << "deutlich_zu_hoch" << 14 << 12 << 16 << 31;
        QTest::newRow("deutlich_senken") << "deutlich_senken" << 12 << 12 << 15 << 31;
        QTest::newRow("senken") << "senken" << 12 << 12 << 16 << 31;
        QTest::newRow("beibehalten") << "beibehalten" << 12 << 12 << 17 << 31;
        QTest::newRow("erhöhen") << "erhöhen" << 12 << 12 << 18 << 31;
        QTest::newRow("deutlich_erhöhen") << "deutlich_erhöhen" << 12 << 12 << 19 << 31;
        QTest::newRow("blank for underscore") << "zu hoch" << 12 << 12 << 16 << 31;
        QTest::newRow("blank in cull word") << "deutlich senken" << 12 << 12 << 16 << 31;
        QTest::newRow("capitalised") << "Günstig" << 12 << 12 << 16 << 31;
        QTest::newRow("umlaut written out") << "erhoehen" << 12 << 12 << 16 << 31;
        QTest::newRow("fraction") << "2,5" << 12 << 12 << 16 << 31;
        QTest::newRow("digit with zero") << "01" << 12 << 12 << 16 << 31;
        QTest::newRow("empty") << "" << 12 << 12 << 16 << 31;
    }
    void codes()
    {
        QFETCH(QString, text);
        QTEST(browsingPressureCode(text), "pressure");
        QTEST(browsingPressureDigitCode(text), "pressureDigit");
        QTEST(cullRecommendationCode(text), "cull");
        QTEST(browsingPressureChangeCode(text), "change");
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
                   "(9004, 'O''Brien', True), (9005, '0', True)");
        OrbeConnection &connection = *db.connection();
        const QString rehwild = RunFixture(db).scalar(
            "select Wildart_ID_PK from Wildart where Wildart_Name = 'Rehwild' and Wildart_Aktiv = True");

        QCOMPARE(QString::number(GetWildartId(connection, "Rehwild")), rehwild);
        QCOMPARE(GetWildartId(connection, "Elchwild"), 9002);   // the inactive row is not found
        QCOMPARE(GetWildartId(connection, "O'Brien"), 9004);   // the quote is doubled, not passed on
        QCOMPARE(GetWildartId(connection, ""), 9005);          // the empty name asks for "0"
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

    // A log of more than 64 MB ends the run at its row, through the trap.
    void logBound()
    {
        TestRunHost host;
        RunSummary summary;
        host.log = QString(LogLimit, u'x');
        QVERIFY(!stopAfterRow(host, summary, 6));
        host.log += u'x';
        ErrorReportCapture capture;
        QVERIFY(!runTrapped("frmTest", "x", [&](ErrorLine &) { stopAfterRow(host, summary, 7); }));
        QVERIFY(capture.reports.value(0).description.startsWith("Das Protokoll wird zu groß: mit Zeile 7 "));
    }
};

QTEST_GUILESS_MAIN(ImportFrameTest)
#include "tst_importframe.moc"
