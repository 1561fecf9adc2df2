// Databases an import cannot write to: read-only, locked by another program,
// without the rights, or with tables that lack a column the statements use or
// differ from what Tarvel expects. Each ends the run through its failure trap
// with a German cause, and nothing is written; a check still works where it
// only needs to read.
#include "assessments.h"
#include "cooperativeruns.h"
#include "failure.h"
#include "orberecordset.h"
#include "runfixture.h"

#include <QProcess>
#include <QScopeGuard>
#include <QtTest>

class DatabaseFaultsTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

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
            // Another program's uncommitted change: the wait is bounded (a German 0,3).
            row(kind, "table locked", ErrorNumber::DatabaseError,
                kind == "sqlite" ? "Ein anderes Programm hält die Datenbank gesperrt; Tarvel hat 0,3 Sekunden gewartet"
                                 : "Ein anderes Programm hält die Tabelle gesperrt; Tarvel hat 0,3 Sekunden gewartet");
            // The record statement's own condition.
            row(kind, "key column missing", ErrorNumber::DatabaseError, "Die Datenbank passt nicht zu Tarvel");
            // A column only a new record writes.
            row(kind, "written column missing", ErrorNumber::FieldNotFound,
                "Das Feld „JagdjahrBis“ ist in der Datensatzgruppe nicht vorhanden");
        }
        // A read-only SQLite file: tst_concurrentimports, as an unprivileged user.
        row("postgresql", "read-only", ErrorNumber::DatabaseError, "Die Datenbank ist schreibgeschützt");
        row("postgresql", "select rights only", ErrorNumber::DatabaseError, "Dem Datenbankbenutzer fehlt die Berechtigung");
        row("postgresql", "column of another type", ErrorNumber::DatabaseError,
            "Die Datenbank passt nicht zu Tarvel: eine Spalte hat einen anderen Typ");
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
        const bool postgres = db.connection()->isPostgres();

        // The fault, made on the test's own connection.
        DatabaseLocation location = *OrbeBase::parseLocation(db.location());
        const QString role = QStringLiteral("nur_lesen_") + location.database;
        const QString table = QStringLiteral("ForstlichesGutachtenZurAbschussplanung");
        const QHash<QString, QStringList> faults{
            {"table locked", {postgres ? "BEGIN" : "BEGIN IMMEDIATE", "UPDATE %3 SET Bemerkung = 'offen'"}},
            {"select rights only", {"CREATE ROLE %1 LOGIN", "GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1"}},
            {"no key", {"CREATE TABLE Gutachten AS SELECT * FROM %3", "DROP TABLE %3",
                        "CREATE TABLE %3 (IdForstlichesGutachten BIGINT PRIMARY KEY, IdJagdbezirksSammlung INTEGER,"
                        " IdWildart INTEGER, JagdjahrVon INTEGER, JagdjahrBis INTEGER, IdVerbissbelastung INTEGER,"
                        " IdForstlicheAbschussEmpfehlung INTEGER, IdAenderungVerbissbelastung INTEGER, Bemerkung TEXT)",
                        "INSERT INTO %3 SELECT * FROM Gutachten"}},
            {"column of another type", {"ALTER TABLE %3 ALTER COLUMN JagdjahrVon TYPE text"}},
            {"read-only", {"ALTER DATABASE %2 SET default_transaction_read_only = on"}},
            {"key column missing", {"ALTER TABLE %3 RENAME COLUMN JagdjahrVon TO Jahr"}},
            {"written column missing", {"ALTER TABLE %3 DROP COLUMN JagdjahrBis"}}};
        for (const QString &statement : faults.value(fault))
            db.execute(QString(statement).replace(QLatin1String("%1"), role).replace(QLatin1String("%2"), location.database)
                           .replace(QLatin1String("%3"), table));
        if (fault == QLatin1String("select rights only"))
            location.user = role;
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
        const bool connected = faulty.ConnectTo(postgres ? location.toString() : file);
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

        runCooperativeImport(f.host);
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
        if (fault == QLatin1String("select rights only")) {
            faulty.Disconnect();
            db.execute(QStringLiteral("DROP OWNED BY %1").arg(role));
            db.execute(QStringLiteral("DROP ROLE %1").arg(role));
        }
    }
};

QTEST_GUILESS_MAIN(DatabaseFaultsTest)
#include "tst_databasefaults.moc"
