// What every run stands on: the assessment codes, the conversions, the species
// lookup and the log's bound. (The runs' golden files show the rest.)
#include "assessmentcodes.h"
#include "conversions.h"
#include "failure.h"
#include "failuretrap.h"
#include "importlog.h"
#include "runfixture.h"
#include "specieslookup.h"
#include "testfiles.h"
#include "qtwarnings.h"
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

QTEST_GUILESS_MAIN(ImportFrameTest)
#include "tst_importframe.moc"
