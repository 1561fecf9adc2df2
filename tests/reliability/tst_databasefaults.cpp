// Databases an import cannot write to: read-only, locked by another program,
// without the rights, or with tables that lack a column the statements use or
// differ from what Tarvel expects. Each ends the run through its failure trap
// with a German cause, and nothing is written; a check still works where it
// only needs to read.
#include "assessments.h"
#include "cooperativeruns.h"
#include "failure.h"
#include "orberecordset.h"
#include "qtwarnings.h"
#include "runfixture.h"
#include "testmain.h"
#include "testplatform.h"

#include <QProcess>
#include <QScopeGuard>
#include <QtTest>

#include <thread>

class DatabaseFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnQtWarnings(); }
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // "Abbrechen" while an import waits for another program's lock (a row
    // lock on MariaDB, the table's lock on PostgreSQL, SQLite's write lock)
    // ends the wait within about a second, as a cancel: never as a lost
    // connection or an error. MariaDB's wait ends by cutting the driver's
    // socket, so it is tried ten times: the cancel must be noted first.
    void cancelDuringLockWait_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("rounds");
        const bool sanitizers = qEnvironmentVariable("TARVEL_TEST_SANITIZERS") == QLatin1String("1");
        for (const QString &kind : TestDatabase::kinds())
            QTest::addRow("%s", qPrintable(kind)) << kind << (kind == "odbc-mariadb" && !sanitizers ? 10 : 1);
    }
    void cancelDuringLockWait()
    {
        QFETCH(QString, kind);
        QFETCH(int, rounds);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        db.execute(QStringLiteral("INSERT INTO JagdbezirksSammlung VALUES (301, 2, '448', 'HG Naila')"));
        db.execute(QStringLiteral("INSERT INTO ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, "
                                  "JagdjahrVon, JagdjahrBis, IdVerbissbelastung) VALUES (301, 2024, 2026, 12)"));
        db.execute(db.connection()->system() == DatabaseSystem::SQLite ? QStringLiteral("BEGIN IMMEDIATE") : QStringLiteral("BEGIN"));
        db.execute(QStringLiteral("UPDATE ForstlichesGutachtenZurAbschussplanung SET Bemerkung = 'offen'"));
        const auto unlock = qScopeGuard([&] { db.execute(QStringLiteral("ROLLBACK")); });
        for (int round = 1; round <= rounds; ++round) {
            OrbeBase importing;
            qputenv("TARVEL_LOCK_WAIT_MS", "60000");
            QVERIFY(importing.ConnectTo(db.location()));
            qunsetenv("TARVEL_LOCK_WAIT_MS");
            RunFixture f(db);
            f.host.state.connection = importing.Connection();
            f.workbook(QStringLiteral("hg.xlsx"), WorkbookRows{
                {"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"},
                {448, 2024, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Naila", 4, 1}});
            QElapsedTimer waited;
            waited.start();
            std::thread cancel([&f] {
                std::this_thread::sleep_for(std::chrono::milliseconds(1200));
                f.host.cancelNow = true;
                f.host.state.connection->cancelWaits();
            });
            runCooperativeImport(f.host);
            cancel.join();
            QVERIFY2(f.errors.reports.isEmpty(), qPrintable(f.errors.reports.value(0).toText()));
            QVERIFY2(f.host.log.endsWith("\r\nImport abgebrochen nach Zeile 1\r\n"), qPrintable(f.host.log));
            QVERIFY2(waited.elapsed() < 1200 + 2500, qPrintable(QString::number(waited.elapsed())));
        }
    }

    // The bounds as a program has them, not a test's shorter settings: a
    // server that takes the connection and never greets is given up after
    // the 10 s connect wait, another session's named lock after the 30 s lock
    // wait. Waits in real time: not in the sanitizer build.
    void defaultBoundsHold_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("cause");
        QTest::newRow("connect, postgresql") << "postgresql" << 10
                                             << "(Der Datenbankserver antwortet nicht; Tarvel hat 10 Sekunden gewartet)";
        QTest::newRow("named lock, odbc-mariadb") << "odbc-mariadb" << 30
                                                  << "(Ein anderes Programm hält die Tabelle gesperrt; Tarvel hat 30 Sekunden gewartet)";
    }
    void defaultBoundsHold()
    {
        QFETCH(QString, kind);
        QFETCH(int, seconds);
        QFETCH(QString, cause);
        if (qEnvironmentVariable("TARVEL_TEST_SANITIZERS") == QLatin1String("1"))
            QSKIP("waits in real time");
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        QElapsedTimer waited;
        QString failure;
        if (kind == QLatin1String("postgresql")) {
            int silentPort = 0;
            const TestSocket silent = listenOnLoopback(&silentPort);
            QVERIFY(silent >= 0);
            const auto closeSilent = qScopeGuard([silent] { closeSocket(silent); });
            OrbeBase base;
            waited.start();
            QVERIFY(!base.ConnectTo(QStringLiteral("postgresql://jagd@127.0.0.1:%1/jagd").arg(silentPort)));
            failure = base.connectFailure();
        } else {
            db.execute(QStringLiteral("INSERT INTO JagdbezirksSammlung VALUES (301, 2, '448', 'HG Naila')"));
            db.execute(QStringLiteral("DO GET_LOCK(CONCAT(DATABASE(), '.ForstlichesGutachtenZurAbschussplanung'), 0)"));
            const auto unlock = qScopeGuard([&] { db.execute(QStringLiteral("DO RELEASE_ALL_LOCKS()")); });
            OrbeBase importing;
            QVERIFY(importing.ConnectTo(db.location()));
            RunFixture f(db);
            f.host.state.connection = importing.Connection();
            f.workbook(QStringLiteral("hg.xlsx"), WorkbookRows{
                {"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"},
                {448, 2024, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Naila", 4, 1}});
            waited.start();
            runCooperativeImport(f.host);
            QCOMPARE(f.errors.reports.size(), 1);
            failure = f.errors.reports[0].description;
        }
        const qint64 took = waited.elapsed();
        QVERIFY2(failure.contains(cause), qPrintable(failure));
        QVERIFY2(took >= seconds * 1000 - 500 && took < seconds * 1000 + 3000, qPrintable(QString::number(took)));
    }

    // A MariaDB connection string that lets the driver connect again by
    // itself (AUTO_RECONNECT=1, or its bit in OPTION), and a pause longer than
    // the server keeps an idle session: the driver's reconnect, which can
    // crash its client library, stays off, Tarvel connects again itself, so
    // every row is saved once, in its own transaction, and nothing crashes.
    void driverReconnectsSilently()
    {
        TARVEL_OPEN_TEST_DATABASE(db, QStringLiteral("odbc-mariadb"));
        db.execute(QStringLiteral("INSERT INTO JagdbezirksSammlung VALUES (301, 2, '448', 'HG Naila'), "
                                  "(302, 2, '449', 'HG Helmbrechts'), (303, 2, '450', 'HG Hof')"));
        const int rounds = qEnvironmentVariable("TARVEL_TEST_SANITIZERS") == QLatin1String("1") ? 1 : 5;
        for (int round = 1; round <= rounds; ++round) {
            OrbeBase importing;
            const QString reconnecting = round % 2 ? QStringLiteral(";AUTO_RECONNECT=1") : QStringLiteral(";OPTION=4194304");
            QVERIFY(importing.ConnectTo(db.location() + reconnecting + QStringLiteral(";INITSTMT={SET SESSION wait_timeout=1}")));
            RunFixture f(db);
            f.host.state.connection = importing.Connection();
            f.workbook(QStringLiteral("hg.xlsx"), WorkbookRows{
                {"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"},
                {448, 2020 + round, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Naila", 4, 1},
                {449, 2020 + round, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Helmbrechts", 3, 3},
                {450, 2020 + round, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Hof", 2, 2}});
            f.host.duringRows = [] { std::this_thread::sleep_for(std::chrono::milliseconds(2500)); };
            runCooperativeImport(f.host);
            QVERIFY2(f.errors.reports.isEmpty(), qPrintable(f.errors.reports.value(0).toText()));
            QVERIFY2(f.host.log.count(QStringLiteral("hinzugefügt:")) == 3, qPrintable(f.host.log));
            QCOMPARE(db.connection()->OpenRecordset(QStringLiteral("select count(*) from ForstlichesGutachtenZurAbschussplanung "
                                                                   "where JagdjahrVon = %1").arg(2020 + round),
                                                    OpenMode::Lookup)->Fields().Item(0).text(),
                     "3");
        }
    }

    void importCannotWrite_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("fault");
        QTest::addColumn<long>("number");
        QTest::addColumn<QString>("message");
        auto row = [](const QString &kind, const char *fault, long number, const char *message) {
            QTest::addRow("%s %s", qPrintable(kind), fault) << kind << QString::fromLatin1(fault) << number << QString::fromUtf8(message);
        };
        for (const QString &kind : TestDatabase::kinds()) {
            // Another program's uncommitted change: the wait is bounded (MariaDB counts whole seconds).
            // Natively, SQLite's words and Qt's are two sentences; through
            // ODBC, SQLite waits in the driver's turns and names the time it
            // really waited.
            row(kind, "table locked", ErrorNumber::DatabaseError,
                kind == "sqlite"        ? "Ein anderes Programm hält die Datenbank gesperrt; Tarvel hat 0,3 Sekunden gewartet): "
                                          "database is locked. Unable to fetch row"
                : kind == "odbc-sqlite" ? "Ein anderes Programm hält die Datenbank gesperrt; Tarvel hat 0,"
                : kind.endsWith("sqlite")  ? "Ein anderes Programm hält die Datenbank gesperrt; Tarvel hat 0,3 Sekunden gewartet"
                : kind.endsWith("mariadb") ? "Ein anderes Programm hält die Tabelle gesperrt; Tarvel hat 1 Sekunde gewartet"
                                         : "Ein anderes Programm hält die Tabelle gesperrt; Tarvel hat 0,3 Sekunden gewartet");
            // The record statement's own condition.
            row(kind, "key column missing", ErrorNumber::DatabaseError, "Die Datenbank passt nicht zu Tarvel");
            // A column only a new record writes.
            row(kind, "written column missing", ErrorNumber::FieldNotFound,
                "Das Feld „JagdjahrBis“ ist in der Datensatzgruppe nicht vorhanden");
        }
        // A read-only SQLite file: tst_concurrentimports, as an unprivileged user.
        row("postgresql", "read-only", ErrorNumber::DatabaseError, "Die Datenbank ist schreibgeschützt");
        for (const QString kind : {"postgresql", "odbc-postgresql", "odbc-mariadb"}) {
            row(kind, "select rights only", ErrorNumber::DatabaseError, "Dem Datenbankbenutzer fehlt die Berechtigung");
            // The session ended by the server during the import, and no new one taken.
            row(kind, "lost server", ErrorNumber::DatabaseError, "Die Verbindung zur Datenbank ist abgebrochen");
        }
        row("postgresql", "column of another type", ErrorNumber::DatabaseError,
            "Die Datenbank passt nicht zu Tarvel: eine Spalte hat einen anderen Typ");
        // A year its column cannot hold is refused, on a MariaDB server
        // without strict mode too (its session is made strict), never clipped.
        for (const char *kind : {"postgresql", "odbc-mariadb"})
            row(kind, "value does not fit", ErrorNumber::DatabaseError, "Ein Wert passt nicht in seine Spalte der Datenbank");
        // psqlODBC's read-only data source lets queries through only.
        row("odbc-postgresql", "read-only data source", ErrorNumber::DatabaseError, "Die Datenbank ist schreibgeschützt");
        // A key that is no row-id alias: SQLite would store NULL in it.
        row("sqlite", "no key", ErrorNumber::DatabaseError, "Der neue Datensatz bekam von der Datenbank keinen Schlüssel");
        // The file on a disk that is full (a small tmpfs, mounted as root).
        row("sqlite", "disk full", ErrorNumber::DatabaseError, "Der Datenträger der Datenbank ist voll");
    }
    void importCannotWrite()
    {
        QFETCH(QString, kind);
        QFETCH(QString, fault);
        QFETCH(long, number);
        QFETCH(QString, message);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        db.execute(QStringLiteral("INSERT INTO JagdbezirksSammlung VALUES (301, 2, '448', 'HG Naila'), "
                                  "(302, 2, '449', 'HG Helmbrechts')"));
        db.execute(QStringLiteral("INSERT INTO ForstlichesGutachtenZurAbschussplanung (IdJagdbezirksSammlung, "
                                  "JagdjahrVon, JagdjahrBis, IdVerbissbelastung) VALUES (301, 2024, 2026, 12)"));
        const bool sqlite = db.connection()->system() == DatabaseSystem::SQLite;

        // The fault, made on the test's own connection. A user of its own
        // (%1) with SELECT rights only, or with all rights and then locked out.
        const bool mariadb = db.connection()->system() == DatabaseSystem::MariaDB;
        const QString role = QStringLiteral("benutzer_") + db.serverDatabase();
        const QString user = mariadb ? QStringLiteral("'%1'@'localhost'").arg(role) : role;
        const QString table = QStringLiteral("ForstlichesGutachtenZurAbschussplanung");
        const QString grant = mariadb ? "GRANT %4 ON %2.* TO %1" : "GRANT %4 ON ALL TABLES IN SCHEMA public TO %1";
        const QString create = mariadb ? "CREATE USER %1" : "CREATE ROLE %1 LOGIN";
        const QHash<QString, QStringList> faults{
            {"table locked", {sqlite ? "BEGIN IMMEDIATE" : "BEGIN", "UPDATE %3 SET Bemerkung = 'offen'"}},
            {"select rights only", {create, QString(grant).replace("%4", "SELECT")}},
            {"lost server", QStringList{create, QString(grant).replace("%4", "ALL")}
                                + (mariadb ? QStringList() : QStringList{"GRANT ALL ON ALL SEQUENCES IN SCHEMA public TO %1"})},
            {"lost server now", {mariadb ? "ALTER USER %1 ACCOUNT LOCK" : "ALTER ROLE %1 NOLOGIN",
                                 mariadb ? "KILL CONNECTION USER %1" : "SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE usename = '%1'"}},
            {"lost server back", {mariadb ? "ALTER USER %1 ACCOUNT UNLOCK" : "ALTER ROLE %1 LOGIN"}},
            {"no key", {"CREATE TABLE Gutachten AS SELECT * FROM %3", "DROP TABLE %3",
                        "CREATE TABLE %3 (IdForstlichesGutachten BIGINT PRIMARY KEY, IdJagdbezirksSammlung INTEGER,"
                        " IdWildart INTEGER, JagdjahrVon INTEGER, JagdjahrBis INTEGER, IdVerbissbelastung INTEGER,"
                        " IdForstlicheAbschussEmpfehlung INTEGER, IdAenderungVerbissbelastung INTEGER, Bemerkung TEXT)",
                        "INSERT INTO %3 SELECT * FROM Gutachten"}},
            {"column of another type", {"ALTER TABLE %3 ALTER COLUMN JagdjahrVon TYPE text"}},
            {"value does not fit", {"DELETE FROM %3", mariadb ? "ALTER TABLE %3 MODIFY JagdjahrVon TINYINT"
                                                              : "ALTER TABLE %3 ALTER COLUMN JagdjahrVon TYPE numeric(3, 0)"}},
            {"read-only", {"ALTER DATABASE %2 SET default_transaction_read_only = on"}},
            {"key column missing", {"ALTER TABLE %3 RENAME COLUMN JagdjahrVon TO Jahr"}},
            {"written column missing", {"ALTER TABLE %3 DROP COLUMN JagdjahrBis"}},
            {"drop user", mariadb ? QStringList{"DROP USER %1"} : QStringList{"DROP OWNED BY %1", "DROP ROLE %1"}}};
        auto make = [&](const QString &name) {
            for (const QString &statement : faults.value(name))
                db.execute(QString(statement).replace(QLatin1String("%1"), user).replace(QLatin1String("%2"), db.serverDatabase())
                               .replace(QLatin1String("%3"), table));
        };
        make(fault);
        const bool ownUser = faults.value(fault).contains(create);
        QTemporaryDir disk;
        QString file = db.location();
        if (fault == QLatin1String("disk full")) {
            if (QProcess::execute("mount", {"-t", "tmpfs", "-o", "size=1m", "tmpfs", disk.path()}) != 0)
                QSKIP("no tmpfs can be mounted here");
            db.execute(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
            file = disk.filePath(QStringLiteral("voll.sqlite"));
            QVERIFY(QFile::copy(db.location(), file));
            {
                // A rollback journal: with WAL the file would not even open on a full disk.
                OrbeBase copy;
                QVERIFY(copy.ConnectTo(file));
                copy.Connection()->execute(QStringLiteral("PRAGMA journal_mode = DELETE"));
            }
            QFile filler(disk.filePath(QStringLiteral("füllung")));
            QVERIFY(filler.open(QIODevice::WriteOnly));
            while (filler.write(QByteArray(4096, 'x')) == 4096 && filler.flush()) {
            }
        }
        const auto unmount = qScopeGuard([&] {
            if (fault == QLatin1String("disk full"))
                QProcess::execute("umount", {"-l", disk.path()});
        });
        // A connection of its own, made after the fault, as a program would see it.
        OrbeBase faulty;
        qputenv("TARVEL_LOCK_WAIT_MS", "300");
        const QString attributes = fault == QLatin1String("read-only data source") ? QStringLiteral(";ReadOnly=1")
                                   : fault == QLatin1String("value does not fit") && mariadb
                                       ? QStringLiteral(";INITSTMT={SET SESSION sql_mode=''}")
                                       : QString();
        const bool connected = faulty.ConnectTo(ownUser ? db.locationFor(role) : sqlite ? file : db.location() + attributes);
        qunsetenv("TARVEL_LOCK_WAIT_MS");
        QVERIFY(connected);
        // The check's listing reads by the record statement's columns.
        const bool checkWorks = fault != QLatin1String("key column missing") && fault != QLatin1String("column of another type");
        const QString before = assessments(*faulty.Connection());

        RunFixture f(db);
        f.host.state.connection = faulty.Connection();
        f.workbook(QStringLiteral("hg.xlsx"), WorkbookRows{
            {"Hgnr", "Jahr", "Lkr", "Lkrname", "Alf_kurz", "Alf_lang", "Hgname", "Belast", "Abschuss"},
            {449, 2024, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Helmbrechts", 3, 3}, // adds
            {448, 2024, 475, "Landkreis Hof", "bm", "Bayreuth-Münchberg", "Naila", 4, 1},       // updates
        });

        // The check only reads, and so works wherever reading does.
        if (checkWorks) {
            runCooperativeCheck(f.host);
            QVERIFY2(f.errors.reports.isEmpty(), f.errors.reports.isEmpty() ? "" : qPrintable(f.errors.reports[0].toText()));
        }

        if (fault == QLatin1String("lost server"))
            f.host.duringRows = [&] { make(QStringLiteral("lost server now")); };
        runCooperativeImport(f.host);
        if (fault == QLatin1String("lost server"))
            make(QStringLiteral("lost server back"));
        QCOMPARE(f.errors.reports.size(), 1);
        const ErrorReportEntry &report = f.errors.reports[0];
        QCOMPARE(report.number, number);
        QCOMPARE(report.source, ErrorSource::Database);
        QVERIFY2(report.description.startsWith(message) || report.description.contains(u'(' + message),
                 qPrintable(report.description));
        QCOMPARE(assessments(*faulty.Connection()), before);
        // No row is logged as saved; the log so far is in its file.
        QVERIFY2(!f.host.log.contains("hinzugefügt:") && !f.host.log.contains("aktualisiert:"), qPrintable(f.host.log));
        QCOMPARE(f.onlyLogFile(), f.host.log.toUtf8());
        if (fault == QLatin1String("table locked"))
            db.execute(QStringLiteral("ROLLBACK"));

        // Nothing held open either: the same connection reads on, and another
        // one (opened before the fault, so still writable) is not locked out.
        QCOMPARE(faulty.Connection()->OpenRecordset(QStringLiteral("select * from Wildart"), OpenMode::Lookup)->HasCurrent(),
                 true);
        db.execute(QStringLiteral("UPDATE ForstlichesGutachtenZurAbschussplanung SET Bemerkung = 'danach'"));
        if (ownUser) {
            faulty.Disconnect();
            make(QStringLiteral("drop user"));
        }
    }
};

TARVEL_TEST_GUILESS_MAIN(DatabaseFaultsTest)
#include "tst_databasefaults.moc"
