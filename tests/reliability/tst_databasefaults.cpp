// Databases an import cannot write to: read-only, locked by another program,
// without the rights, or with tables that lack a column the statements use or
// differ from what Tarvel expects. Each ends the run through its failure trap
// with a German cause, and nothing is written; a check still works where it
// only needs to read.
#include "cooperativeruns.h"
#include "failure.h"
#include "orberecordset.h"
#include "runfixture.h"

#include <QtTest>

namespace {

// Every assessment record, so that "nothing written" compares whole tables.
QString dump(OrbeConnection &connection)
{
    auto rs = connection.OpenRecordset(
        QStringLiteral("select * from ForstlichesGutachtenZurAbschussplanung order by 1"), OpenMode::Lookup);
    QStringList rows;
    for (; rs->HasCurrent(); rs->MoveNext()) {
        QStringList values;
        OrbeFields fields = rs->Fields();
        for (int i = 0; i < fields.Count(); ++i)
            values << fields.Item(i).text();
        rows << values.join(u',');
    }
    return rows.join(u'\n');
}

} // namespace

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
        for (const QString &kind : TestDatabase::kinds()) {
            auto row = [&](const char *fault, long number, const QString &message) {
                QTest::newRow(qPrintable(kind + u' ' + QLatin1String(fault)))
                    << kind << QString::fromLatin1(fault) << number << message;
            };
            row("read-only", ErrorNumber::DatabaseError, QStringLiteral("Die Datenbank ist schreibgeschützt"));
            // Another program's uncommitted change: the wait is bounded.
            row("table locked", ErrorNumber::DatabaseError, QStringLiteral("Ein anderes Programm hält die"));
            // The record statement's own condition.
            QTest::newRow(qPrintable(kind + QStringLiteral(" key column missing")))
                << kind << QStringLiteral("key column missing") << ErrorNumber::DatabaseError
                << QStringLiteral("Die Datenbank passt nicht zu Tarvel");
            // A column only a new record writes.
            QTest::newRow(qPrintable(kind + QStringLiteral(" written column missing")))
                << kind << QStringLiteral("written column missing") << ErrorNumber::FieldNotFound
                << QStringLiteral("Das Feld „JagdjahrBis“ ist in der Datensatzgruppe nicht vorhanden");
        }
        QTest::newRow("postgresql select rights only") << QStringLiteral("postgresql") << QStringLiteral("select rights only")
            << ErrorNumber::DatabaseError << QStringLiteral("Dem Datenbankbenutzer fehlt die Berechtigung");
        QTest::newRow("postgresql column of another type") << QStringLiteral("postgresql")
            << QStringLiteral("column of another type") << ErrorNumber::DatabaseError
            << QStringLiteral("Die Datenbank passt nicht zu Tarvel: eine Spalte hat einen anderen Typ");
        // A key that is no row-id alias: SQLite would store NULL in it.
        QTest::newRow("sqlite no key from the database") << QStringLiteral("sqlite") << QStringLiteral("no key")
            << ErrorNumber::DatabaseError << QStringLiteral("Der neue Datensatz bekam von der Datenbank keinen Schlüssel");
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

        OrbeBase faulty; // a connection of its own, made after the fault, as a program would see it
        const QString role = QStringLiteral("nur_lesen_") + OrbeBase::parseLocation(db.location())->database;
        bool checkWorks = true;
        if (fault == QLatin1String("table locked")) {
            db.execute(postgres ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"));
            db.execute(QStringLiteral("UPDATE ForstlichesGutachtenZurAbschussplanung SET Bemerkung = 'offen'"));
            qputenv("TARVEL_LOCK_WAIT_MS", "300");
            QVERIFY(faulty.ConnectTo(db.location()));
            qunsetenv("TARVEL_LOCK_WAIT_MS");
        } else if (fault == QLatin1String("select rights only")) {
            db.execute(QStringLiteral("CREATE ROLE %1 LOGIN").arg(role));
            db.execute(QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1").arg(role));
            DatabaseLocation reader = *OrbeBase::parseLocation(db.location());
            reader.user = role;
            QVERIFY(faulty.ConnectTo(reader.toString()));
        } else if (fault == QLatin1String("no key")) {
            db.execute(QStringLiteral("CREATE TABLE Gutachten AS SELECT * FROM ForstlichesGutachtenZurAbschussplanung"));
            db.execute(QStringLiteral("DROP TABLE ForstlichesGutachtenZurAbschussplanung"));
            db.execute(QStringLiteral(
                "CREATE TABLE ForstlichesGutachtenZurAbschussplanung (IdForstlichesGutachten BIGINT PRIMARY KEY,"
                " IdJagdbezirksSammlung INTEGER, IdWildart INTEGER, JagdjahrVon INTEGER, JagdjahrBis INTEGER,"
                " IdVerbissbelastung INTEGER, IdForstlicheAbschussEmpfehlung INTEGER,"
                " IdAenderungVerbissbelastung INTEGER, Bemerkung TEXT)"));
            db.execute(QStringLiteral("INSERT INTO ForstlichesGutachtenZurAbschussplanung SELECT * FROM Gutachten"));
            QVERIFY(faulty.ConnectTo(db.location()));
        } else if (fault == QLatin1String("column of another type")) {
            db.execute(QStringLiteral("ALTER TABLE ForstlichesGutachtenZurAbschussplanung ALTER COLUMN JagdjahrVon TYPE text"));
            QVERIFY(faulty.ConnectTo(db.location()));
            checkWorks = false; // the check's listing reads by the same column
        } else if (fault == QLatin1String("read-only")) {
            if (postgres)
                db.execute(QStringLiteral("ALTER DATABASE %1 SET default_transaction_read_only = on")
                               .arg(OrbeBase::parseLocation(db.location())->database));
            QVERIFY(faulty.ConnectTo(db.location()));
            // Tests run as root, whom file permissions do not stop: the
            // connection itself refuses writes, as one on a read-only file would.
            if (!postgres)
                faulty.Connection()->execute(QStringLiteral("PRAGMA query_only = ON"));
        } else {
            checkWorks = false;
            if (fault == QLatin1String("key column missing"))
                db.execute(QStringLiteral("ALTER TABLE ForstlichesGutachtenZurAbschussplanung RENAME COLUMN JagdjahrVon TO Jahr"));
            else
                db.execute(QStringLiteral("ALTER TABLE ForstlichesGutachtenZurAbschussplanung DROP COLUMN JagdjahrBis"));
            QVERIFY(faulty.ConnectTo(db.location()));
        }
        const QString before = dump(*faulty.Connection());

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
        QCOMPARE(dump(*faulty.Connection()), before);
        QVERIFY(f.logFiles().isEmpty());
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
