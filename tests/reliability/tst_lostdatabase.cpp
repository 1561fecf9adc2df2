// PostgreSQL clusters of the test's own, which only POSIX systems can start
// and stop: a server that goes away or stops answering in the middle of an
// import, and one that takes only TLS with a password, as an office's server
// does.
#include "assessments.h"
#include "cooperativeruns.h"
#include "errorreportcapture.h"
#include "failure.h"
#include "faultproxy.h"
#include "orbebase.h"
#include "orbeerrorreport.h"
#include "orberecordset.h"
#include "privatecluster.h"
#include "qtwarnings.h"
#include "testfiles.h"
#include "testmain.h"
#include "testrunhost.h"
#include "testsignals.h"
#include "testworkbook.h"

#include <QStandardPaths>
#include <QUrl>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>


namespace {

const QStringList Columns{"IdJagdbezirksSammlung", "JagdjahrVon", "IdVerbissbelastung"};

} // namespace

class LostDatabaseTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnQtWarnings(); }
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // Two rows to a batch: the first two are saved before the next two go out.
        qputenv("TARVEL_BATCH_ROWS", "2");
    }

    // Shut down, killed at once, or stopped (SIGSTOP) as the batch of the
    // third and fourth data rows goes to the server (the third row's change,
    // or the batch's third commit): a stopped server process keeps its
    // connection alive and never answers, so the client gives up after its
    // limit (short here). Shut down, the server says it ends; otherwise the
    // batch's commits went out without an answer, nobody can tell whether
    // the rows are saved, and the message says so. Over TCP, through a proxy
    // that acts as the statement goes by.
    void serverStopsDuringAnImport_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<QByteArray>("at");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("driverWords");
        const QString notSaved = QStringLiteral("Der Datensatz konnte nicht gespeichert werden (");
        const QString uncertain = QStringLiteral("Ob der Datensatz gespeichert ist, ist ungewiss: die Transaktion wurde "
                                                 "zum Abschließen geschickt, eine Bestätigung kam nicht (");
        const QByteArray update = "UPDATE ForstlichesGutachten";
        QTest::newRow("shutdown") << "shutdown" << update << notSaved + "Die Verbindung zur Datenbank ist abgebrochen"
                                  << "administrator command";
        QTest::newRow("crash") << "crash" << update << uncertain + "Die Verbindung zur Datenbank ist abgebrochen" << "server";
        QTest::newRow("stopped") << "stopped" << update << uncertain + "Der Datenbankserver antwortet nicht" << "";
        QTest::newRow("stopped at the commit") << "stopped" << QByteArray("COMMIT")
                                               << uncertain + "Der Datenbankserver antwortet nicht" << "";
    }
    void serverStopsDuringAnImport()
    {
        QFETCH(QString, how);
        QFETCH(QByteArray, at);
        QFETCH(QString, message);
        QFETCH(QString, driverWords);
        TARVEL_START_PRIVATE_CLUSTER(cluster);
        const bool stopping = how == QLatin1String("stopped");
        FaultProxy proxy(cluster.port());
        qputenv("TARVEL_ANSWER_WAIT_MS", "1500");
        OrbeBase base;
        const bool connected = base.ConnectTo(cluster.location(true, proxy.port()));
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
        TestRunHost host;
        host.state.connection = connection;
        host.state.database = base.connectedLocation();
        host.state.workbookFolder = folder.path() + u'/';
        WorkbookRows rows{{"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"}};
        for (int number = 501; number <= 505; ++number)
            rows << QVariantList{number, 2024, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "HG", 1, 3};
        host.state.workbookPath = writeXlsx(folder.filePath(QStringLiteral("hg.xlsx")), rows);

        // The server goes away as the third data row's record is saved (its
        // update is the first, its batch holds the third commit).
        std::atomic<bool> stopped = false;
        QString why;
        proxy.add(1, at, at == "COMMIT" ? 3 : 1, FaultProxy::Fault::Pass, [&] {
            stopped = stopping ? sendSignal(server, SIGSTOP, &why) : cluster.stop(how == QLatin1String("crash"));
        });
        auto importReports = [&] {
            ErrorReportCapture errors;
            runCooperativeImport(host);
            return errors.reports;
        };
        const QString allSaved = QStringLiteral("401 2024 11\n402 2024 11\n403 2024 11\n404 2024 11\n405 2024 11");
        QList<ErrorReportEntry> reports = importReports();
        QVERIFY2(stopped, qPrintable(why + cluster.unavailableReason()));
        QCOMPARE(reports.size(), 1);
        QCOMPARE(reports[0].procedure, QStringLiteral("cmdImportStarten_Click"));
        QCOMPARE(reports[0].source, ErrorSource::Database);
        QCOMPARE(reports[0].number, ErrorNumber::DatabaseError);
        // The driver's own words on the lost server are part of the message.
        QVERIFY2(reports[0].description.startsWith(message) && reports[0].description.contains(driverWords),
                 qPrintable(reports[0].description));

        QVERIFY2(stopping ? sendSignal(server, SIGCONT, &why) : cluster.start(), qPrintable(why + cluster.unavailableReason()));
        {
            // Seen from another connection: rows 1 and 2 are stored, row 3 is
            // as it was, after a crash too. A stopped server that wakes runs
            // what reached it.
            OrbeBase other;
            QVERIFY(other.ConnectTo(cluster.location(true)));
            if (!stopping)
                QCOMPARE(assessments(*other.Connection(), Columns), QStringLiteral("401 2024 11\n402 2024 11\n403 2024 14"));
        }
        // The same connection object serves the next run, without a restart.
        QCOMPARE(importReports().size(), 0);
        QCOMPARE(assessments(*connection, Columns), allSaved);
        // A server restarted while the program was idle goes unnoticed.
        QVERIFY(cluster.stop() && cluster.start());
        QCOMPARE(importReports().size(), 0);
        QCOMPARE(host.log.count(QLatin1String("aktualisiert")), 5);
        // A server that is still down: the run fails cleanly and says so.
        QVERIFY(cluster.stop());
        reports = importReports();
        QCOMPARE(reports.size(), 1);
        QVERIFY2(reports[0].description.contains(QStringLiteral("Die Verbindung zur Datenbank ist abgebrochen")),
                 qPrintable(reports[0].description));
        QVERIFY(cluster.start());
        QCOMPARE(assessments(*connection, Columns), allSaved);
    }

    // The password from the URL, a password file or a service file; a wrong
    // authority, a plain connection, a wrong or missing password, an unknown
    // service: each a German cause, never the password.
    void tlsWithPassword_data()
    {
        QTest::addColumn<QString>("query");    // AUTH, OTHER: the authorities' paths
        QTest::addColumn<QString>("password"); // in the URL; "FILE": from the password file
        QTest::addColumn<QString>("cause");    // empty: connects
        QTest::newRow("password file") << "sslmode=verify-full&sslrootcert=AUTH" << "FILE" << "";
        QTest::newRow("password in the URL") << "sslmode=verify-full&sslrootcert=AUTH" << "PW" << "";
        QTest::newRow("service file") << "service=jagd" << "FILE" << "";
        QTest::newRow("other authority") << "sslmode=verify-full&sslrootcert=OTHER" << "FILE"
                                         << "Das Zertifikat des Servers ist nicht das erwartete";
        QTest::newRow("plain connection") << "sslmode=disable" << "FILE" << "Der Server verlangt eine verschlüsselte Verbindung";
        QTest::newRow("wrong password") << "sslmode=require" << "Falsch;geheim" << "Der Server nimmt Benutzer oder Passwort nicht an";
        QTest::newRow("no password") << "sslmode=require" << "" << "Der Server verlangt ein Passwort";
        QTest::newRow("unknown service") << "service=fehlt" << "FILE" << "Den Dienst gibt es in der Dienstdatei nicht";
        QTest::newRow("unknown user") << "user=niemand" << "FILE" << "Der Server nimmt Benutzer oder Passwort nicht an";
        QTest::newRow("no such database") << "dbname=fehlt" << "FILE" << "Die Datenbank gibt es auf dem Server nicht";
    }
    void tlsWithPassword()
    {
        QFETCH(QString, query);
        QFETCH(QString, password);
        QFETCH(QString, cause);
        static PrivateCluster cluster(true); // one for all rows: making it takes seconds
        if (!cluster.unavailableReason().isEmpty())
            QFAIL(qPrintable(cluster.unavailableReason()));
        // The authority in a folder whose name needs quoting.
        QTemporaryDir folder;
        const QString authority = folder.filePath(QStringLiteral("Zert ifikate 'a'/ca.crt"));
        QVERIFY(QDir().mkpath(QFileInfo(authority).path()) && QFile::copy(cluster.authority(), authority));
        auto write = [&](const char *name, const QString &text) { // readable by its owner only, as libpq wants a password file
            const QString path = folder.filePath(QString::fromLatin1(name));
            if (!writeFileBytes(path, text.toUtf8()) || !QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner))
                qFatal("cannot write %s", name);
            return path.toUtf8();
        };
        const QString secret = QString(PrivateCluster::password()).replace(u'\\', QLatin1String("\\\\")).replace(u':', QLatin1String("\\:"));
        const QByteArray passFile = write("pgpass", QStringLiteral("127.0.0.1:%1:*:*:%2\n").arg(cluster.port()).arg(secret));
        qputenv("PGSERVICEFILE", write("dienste", QStringLiteral("[jagd]\nhost=127.0.0.1\nport=%1\ndbname=postgres\nuser=postgres\n"
                                                                 "sslmode=verify-full\nsslrootcert=%2\n").arg(cluster.port()).arg(authority)));
        qputenv("PGPASSFILE", password == QLatin1String("FILE") ? passFile : QByteArray("/nonexistent"));

        const QString shownPassword = password == QLatin1String("PW")     ? PrivateCluster::password()
                                      : password == QLatin1String("FILE") ? QString()
                                                                          : password;
        QString location = QStringLiteral("postgresql://?") + query;
        if (!query.startsWith(QLatin1String("service")))
            location = QStringLiteral("postgresql://postgres")
                       + (shownPassword.isEmpty() ? QString() : u':' + QString::fromLatin1(QUrl::toPercentEncoding(shownPassword)))
                       + QStringLiteral("@127.0.0.1:") + QString::number(cluster.port()) + QStringLiteral("/postgres?") + query;
        location.replace(QLatin1String("OTHER"), QUrl::toPercentEncoding(cluster.otherAuthority()))
            .replace(QLatin1String("AUTH"), QUrl::toPercentEncoding(authority));
        OrbeBase base;
        const bool connected = base.ConnectTo(location);
        qunsetenv("PGSERVICEFILE");
        qunsetenv("PGPASSFILE");
        QVERIFY2(connected == cause.isEmpty(), qPrintable(base.connectFailure()));
        if (connected) {
            auto tls = base.Connection()->OpenRecordset(QStringLiteral("select ssl from pg_stat_ssl where pid = pg_backend_pid()"),
                                                        OpenMode::Lookup);
            QCOMPARE(tls->Fields().Item(0).text(), QStringLiteral("Wahr"));
            if (!shownPassword.isEmpty()) {
                // A run that fails there: neither the status text, the report,
                // the log nor the error log file shows the password.
                TestRunHost host;
                host.state.connection = base.Connection();
                host.state.database = base.connectedLocation();
                host.state.workbookFolder = folder.path() + u'/';
                host.state.workbookPath = writeXlsx(folder.filePath(QStringLiteral("fehler.xlsx")), WorkbookRows{
                    {"Hgnr"}, {"501", "20x4"}});
                ErrorReportCapture errors;
                runCooperativeImport(host);
                QCOMPARE(errors.reports.size(), 1);
                const QString shown = base.Connection()->Description() + errors.reports[0].toText() + host.log
                                      + QString::fromUtf8(fileBytes(OrbeErrorReport::errorLogPath()));
                QVERIFY2(!shown.contains(shownPassword), qPrintable(shown));
            }
            // An import over it, once.
            if (QTest::currentDataTag() != QLatin1String("password file"))
                return;
            base.Connection()->createSchema();
            base.Connection()->execute(QStringLiteral("INSERT INTO JagdbezirksSammlung VALUES (401, 2, '501', 'HG A')"));
            TestRunHost host;
            host.state.connection = base.Connection();
            host.state.database = base.connectedLocation();
            host.state.workbookFolder = folder.path() + u'/';
            host.state.workbookPath = writeXlsx(folder.filePath(QStringLiteral("hg.xlsx")), WorkbookRows{
                {"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"},
                {501, 2024, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "HG", 1, 3}});
            ErrorReportCapture errors;
            runCooperativeImport(host);
            QCOMPARE(errors.reports.size(), 0);
            QCOMPARE(assessments(*base.Connection(), Columns), QStringLiteral("401 2024 11"));
            return;
        }
        QVERIFY2(base.connectFailure().contains(cause), qPrintable(base.connectFailure()));
        QVERIFY(shownPassword.isEmpty() || !base.connectFailure().contains(shownPassword));
        QVERIFY(!base.connectFailure().contains(QStringLiteral("heim; 1")));
    }
};

TARVEL_TEST_GUILESS_MAIN(LostDatabaseTest)
#include "tst_lostdatabase.moc"
