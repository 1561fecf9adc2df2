// Databases an import cannot write to: read-only, or with tables that lack a
// column the statements use. Each ends the run through its failure trap with
// a clear message, and nothing is written.
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
            QTest::newRow(qPrintable(kind + QStringLiteral(" read-only")))
                << kind << QStringLiteral("read-only") << ErrorNumber::DatabaseError
                << QStringLiteral("Die Datenbank ist schreibgeschützt");
            // The record statement's own condition.
            QTest::newRow(qPrintable(kind + QStringLiteral(" key column missing")))
                << kind << QStringLiteral("key column missing") << ErrorNumber::DatabaseError
                << QStringLiteral("Die Datenbank passt nicht zu Tarvel");
            // A column only a new record writes.
            QTest::newRow(qPrintable(kind + QStringLiteral(" written column missing")))
                << kind << QStringLiteral("written column missing") << ErrorNumber::FieldNotFound
                << QStringLiteral("Das Feld „JagdjahrBis“ ist in der Datensatzgruppe nicht vorhanden");
        }
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
        if (fault == QLatin1String("read-only")) {
            if (postgres)
                db.execute(QStringLiteral("ALTER DATABASE %1 SET default_transaction_read_only = on")
                               .arg(OrbeBase::parseLocation(db.location())->database));
            QVERIFY(faulty.ConnectTo(db.location()));
            // Tests run as root, whom file permissions do not stop: the
            // connection itself refuses writes, as one on a read-only file would.
            if (!postgres)
                faulty.Connection()->execute(QStringLiteral("PRAGMA query_only = ON"));
        } else {
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

        // The check only reads, and still works on a read-only database.
        if (fault == QLatin1String("read-only")) {
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

        // Nothing held open either: the same connection reads on, and another
        // one (opened before the fault, so still writable) is not locked out.
        QCOMPARE(faulty.Connection()->OpenRecordset(QStringLiteral("select * from Wildart"), OpenMode::Lookup)->HasCurrent(),
                 true);
        db.execute(QStringLiteral("UPDATE ForstlichesGutachtenZurAbschussplanung SET Bemerkung = 'danach'"));
    }
};

QTEST_GUILESS_MAIN(DatabaseFaultsTest)
#include "tst_databasefaults.moc"
