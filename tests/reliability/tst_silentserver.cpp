// A PostgreSQL server that stops answering while a connection is made, behind
// a proxy that freezes the connection: the answer watchdog's case, which runs
// on Windows (under Wine) too.
#include "cooperativeruns.h"
#include "errorreportcapture.h"
#include "faultproxy.h"
#include "orbebase.h"
#include "qtwarnings.h"
#include "testdatabase.h"
#include "testmain.h"
#include "testplatform.h"
#include "testrunhost.h"
#include "testworkbook.h"

#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

class SilentServerTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnQtWarnings(); }
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // Each row its own batch: the first row is saved before the second
        // reads its year's records (tarvel-batch takes it on).
        qputenv("TARVEL_BATCH_ROWS", "1");
    }

    // In the connection's start-up (bounded by the connect wait) or the
    // session's set-up (by the answer wait), or made again after the
    // connection was lost as the third data row reads its year's records
    // (the only statement with 2025 in it): the import ends after the
    // limit with the German cause. In tarvel-batch, waiting as long as
    // it would for a real server, one interrupt (Ctrl+C) ends the wait as a cancel.
    void serverSilentWhileConnecting_data()
    {
        QTest::addColumn<QByteArray>("freezeAt");
        QTest::addColumn<bool>("reconnect");
        // The start-up message names the program.
        QTest::newRow("connection's start-up") << QByteArray("application_name") << false;
        QTest::newRow("session start") << QByteArray("lock_timeout") << false;
        QTest::newRow("reconnect, connection's start-up") << QByteArray("application_name") << true;
        QTest::newRow("reconnect, session start") << QByteArray("lock_timeout") << true;
        // The read, repeated on the new connection, gets no answer.
        QTest::newRow("reconnect, repeated statement") << QByteArray("JagdjahrVon") << true;
    }
    void serverSilentWhileConnecting()
    {
        QFETCH(QByteArray, freezeAt);
        QFETCH(bool, reconnect);
        TARVEL_OPEN_TEST_DATABASE(db, QStringLiteral("postgresql"));
        QVERIFY2(TestDatabase::serverPort() > 0, "TARVEL_TEST_POSTGRES_PORT is not set (scripts/test.sh sets it)");
        db.execute(QStringLiteral("INSERT INTO JagdbezirksSammlung VALUES (401, 2, '501', 'HG A'), (402, 2, '502', 'HG B')"));
        QTemporaryDir folder;
        WorkbookRows rows{{"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"}};
        for (const int number : {501, 502})
            rows << QVariantList{number, 1523 + number, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "HG", 1, 3};
        const QString workbook = writeXlsx(folder.filePath(QStringLiteral("hg.xlsx")), rows);
        const auto freeze = [&](FaultProxy &proxy, std::atomic<bool> &reached) {
            const int silent = reconnect ? 2 : 1;
            if (reconnect)
                proxy.add(1, "2025", 1, FaultProxy::Fault::Drop);
            proxy.add(silent, freezeAt, 1, FaultProxy::Fault::Freeze, [&reached] { reached = true; });
        };
        const QString silentServer = QStringLiteral("Der Datenbankserver antwortet nicht; Tarvel hat 1,5 Sekunden gewartet");

        FaultProxy proxy(TestDatabase::serverPort());
        std::atomic<bool> reached = false;
        freeze(proxy, reached);
        qputenv("TARVEL_ANSWER_WAIT_MS", "1500");
        qputenv("TARVEL_CONNECT_WAIT_MS", "1500");
        OrbeBase base;
        const bool connected = base.ConnectTo(db.locationAt(proxy.port()));
        qunsetenv("TARVEL_ANSWER_WAIT_MS");
        qunsetenv("TARVEL_CONNECT_WAIT_MS");
        QVERIFY(reached || reconnect);
        QCOMPARE(connected, reconnect);
        if (!connected) {
            QVERIFY2(base.connectFailure().contains(u'(' + silentServer + QStringLiteral("): ")),
                     qPrintable(base.connectFailure()));
        } else {
            TestRunHost host;
            host.state.connection = base.Connection();
            host.state.database = base.connectedLocation();
            host.state.workbookFolder = folder.path() + u'/';
            host.state.workbookPath = workbook;
            ErrorReportCapture errors;
            QVERIFY(!runCooperativeImport(host));
            QVERIFY(reached);
            QCOMPARE(errors.reports.size(), 1);
            QVERIFY2(errors.reports[0].description.contains(u'(' + silentServer + QStringLiteral("): ")),
                     qPrintable(errors.reports[0].description));
        }

        // tarvel-batch, the same way, with its answer limit of a minute.
        FaultProxy batchProxy(TestDatabase::serverPort());
        std::atomic<bool> batchReached = false;
        freeze(batchProxy, batchReached);
        QTemporaryDir data;
        QProcess batch;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        redirectDataFolder(environment, data.path());
        batch.setProcessEnvironment(environment);
        prepareForStops(batch);
        QElapsedTimer waited;
        waited.start();
        batch.start(QStringLiteral(TARVEL_BATCH), {QStringLiteral("import"), QStringLiteral("--cooperative"),
                                                   QStringLiteral("--database"), db.locationAt(batchProxy.port()),
                                                   workbook});
        QVERIFY(batch.waitForStarted());
        while (!batchReached && waited.elapsed() < 20000)
            QTest::qSleep(20);
        QVERIFY(batchReached);
        const QString notSent = sendStop(batch, Stop::Interrupt);
        QVERIFY2(notSent.isEmpty(), qPrintable(notSent));
        QVERIFY(batch.waitForFinished(20000));
        QVERIFY2(waited.elapsed() < 15000, qPrintable(QString::number(waited.elapsed())));
        QCOMPARE(batch.exitCode(), int(Stop::Interrupt));
        if (reconnect)
            QVERIFY(batch.readAllStandardOutput().endsWith("\r\nImport abgebrochen nach Zeile 2\r\n"));
    }
};

TARVEL_TEST_GUILESS_MAIN(SilentServerTest)
#include "tst_silentserver.moc"
