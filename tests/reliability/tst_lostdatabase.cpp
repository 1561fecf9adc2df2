// A PostgreSQL server that goes away or stops answering in the middle of an
// import, on a cluster of the test's own.
#include "cooperativeruns.h"
#include "errorreportcapture.h"
#include "failure.h"
#include "orbebase.h"
#include "orberecordset.h"
#include "privatecluster.h"
#include "testrunhost.h"
#include "testworkbook.h"

#include <QStandardPaths>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

#include <csignal>

namespace {

// A run host that lets the test act when a log piece arrives: the run logs a
// row's line between opening its record and saving it.
class InterruptingHost : public TestRunHost
{
public:
    std::function<void(const QString &)> onLog;
    void appendLog(const QString &piece) override
    {
        TestRunHost::appendLog(piece);
        if (onLog)
            onLog(piece);
    }
};

// "collection:year=pressure" of every assessment record, in key order.
QString records(OrbeConnection &connection)
{
    auto rs = connection.OpenRecordset(
        QStringLiteral("select * from ForstlichesGutachtenZurAbschussplanung order by IdJagdbezirksSammlung, JagdjahrVon"),
        OpenMode::Lookup);
    QStringList list;
    for (; rs->HasCurrent(); rs->MoveNext())
        list << rs->Fields().Item(QStringLiteral("IdJagdbezirksSammlung")).text() + u':'
                    + rs->Fields().Item(QStringLiteral("JagdjahrVon")).text() + u'='
                    + rs->Fields().Item(QStringLiteral("IdVerbissbelastung")).text();
    return list.join(u' ');
}

} // namespace

class LostDatabaseTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // Shut down, killed at once, or stopped (SIGSTOP) over TCP: a stopped
    // server process keeps its connection alive and never answers, so the
    // client gives up after its limit (short here).
    void serverStopsDuringAnImport_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QString>("cause");
        QTest::addColumn<QString>("driverWords");
        QTest::newRow("shutdown") << "shutdown" << "Die Verbindung zur Datenbank ist abgebrochen" << "administrator command";
        QTest::newRow("crash") << "crash" << "Die Verbindung zur Datenbank ist abgebrochen" << "server";
        QTest::newRow("stopped") << "stopped" << "Der Datenbankserver antwortet nicht" << "";
    }
    void serverStopsDuringAnImport()
    {
        QFETCH(QString, how);
        QFETCH(QString, cause);
        QFETCH(QString, driverWords);
        TARVEL_START_PRIVATE_CLUSTER(cluster);
        const bool stopping = how == QLatin1String("stopped");
        qputenv("TARVEL_ANSWER_WAIT_MS", "1500");
        OrbeBase base;
        const bool connected = base.ConnectTo(cluster.location(stopping));
        qunsetenv("TARVEL_ANSWER_WAIT_MS");
        QVERIFY(connected);
        std::shared_ptr<OrbeConnection> connection = base.Connection();
        connection->createSchema();
        connection->execute(QStringLiteral(
            "INSERT INTO JagdbezirksSammlung VALUES (401, 2, '501', 'HG A'), (402, 2, '502', 'HG B'), "
            "(403, 2, '503', 'HG C'), (404, 2, '504', 'HG D'), (405, 2, '505', 'HG E')"));
        // The third data row updates, the others add.
        connection->execute(QStringLiteral(
            "INSERT INTO ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, JagdjahrVon, IdVerbissbelastung) "
            "VALUES (403, 2024, 14)"));
        const pid_t server = connection->OpenRecordset(QStringLiteral("select pg_backend_pid()"), OpenMode::Lookup)
                                 ->Fields().Item(0).Value().toInt();

        QTemporaryDir folder;
        InterruptingHost host;
        host.state.connection = connection;
        host.state.workbookFolder = folder.path() + u'/';
        WorkbookRows rows{{"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"}};
        for (int number = 501; number <= 505; ++number)
            rows << QVariantList{number, 2024, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "HG", 1, 3};
        host.state.workbookPath = writeXlsx(folder.filePath(QStringLiteral("hg.xlsx")), rows);

        // The server goes away while the third data row's record is open.
        bool stopped = false;
        host.onLog = [&](const QString &piece) {
            if (piece.startsWith(QLatin1String("(Zeile 4)")))
                stopped = stopping ? ::kill(server, SIGSTOP) == 0 : cluster.stop(how == QLatin1String("crash"));
        };
        {
            ErrorReportCapture errors;
            runCooperativeImport(host);
            host.onLog = nullptr;
            QVERIFY2(stopped, qPrintable(cluster.unavailableReason()));
            QCOMPARE(errors.reports.size(), 1);
            const ErrorReportEntry &report = errors.reports[0];
            QCOMPARE(report.procedure, QStringLiteral("cmdImportStarten_Click"));
            QCOMPARE(report.source, ErrorSource::Database);
            QCOMPARE(report.number, ErrorNumber::DatabaseError);
            QCOMPARE(report.line, 260); // the save
            // The driver's own words on the lost server are part of the message.
            QVERIFY2(report.description.startsWith(QStringLiteral("Der Datensatz konnte nicht gespeichert werden (") + cause)
                         && report.description.contains(driverWords),
                     qPrintable(report.description));
        }

        QVERIFY2(stopping ? ::kill(server, SIGCONT) == 0 : cluster.start(), qPrintable(cluster.unavailableReason()));
        {
            // Seen from another connection: rows 1 and 2 are stored, row 3 is
            // as it was, after a crash too.
            OrbeBase other;
            QVERIFY(other.ConnectTo(cluster.location(stopping)));
            QCOMPARE(records(*other.Connection()), QStringLiteral("401:2024=11 402:2024=11 403:2024=14"));
        }

        // The same connection object serves the next run, without a restart.
        {
            ErrorReportCapture errors;
            runCooperativeImport(host);
            QVERIFY2(errors.reports.isEmpty(), errors.reports.isEmpty() ? "" : qPrintable(errors.reports[0].toText()));
            QCOMPARE(host.log.count(QLatin1String("aktualisiert")) + host.log.count(QStringLiteral("hinzugefügt")), 5);
            QCOMPARE(records(*connection),
                     QStringLiteral("401:2024=11 402:2024=11 403:2024=11 404:2024=11 405:2024=11"));
        }

        // A server restarted while the program was idle goes unnoticed.
        QVERIFY(cluster.stop());
        QVERIFY(cluster.start());
        {
            ErrorReportCapture errors;
            runCooperativeImport(host);
            QVERIFY2(errors.reports.isEmpty(), errors.reports.isEmpty() ? "" : qPrintable(errors.reports[0].toText()));
            QCOMPARE(host.log.count(QLatin1String("aktualisiert")), 5);
        }

        // A server that is still down: the run fails cleanly and says so.
        QVERIFY(cluster.stop());
        {
            ErrorReportCapture errors;
            runCooperativeImport(host);
            QCOMPARE(errors.reports.size(), 1);
            QCOMPARE(errors.reports[0].source, ErrorSource::Database);
            QVERIFY2(errors.reports[0].description.contains(QStringLiteral("Die Verbindung zur Datenbank ist abgebrochen")),
                     qPrintable(errors.reports[0].description));
        }
        QVERIFY(cluster.start());
        QCOMPARE(records(*connection), QStringLiteral("401:2024=11 402:2024=11 403:2024=11 404:2024=11 405:2024=11"));
    }
};

QTEST_GUILESS_MAIN(LostDatabaseTest)
#include "tst_lostdatabase.moc"
