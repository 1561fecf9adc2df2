// Every place where a run can end through its error report, reached by a real
// fault — a workbook, a database state, or a failing call of the window (the
// test's host) — with the error line the report shows, as each run numbers
// its statements: the table tests/data/runs/failure-places.txt. On SQLite
// and PostgreSQL.
#include "cooperativeruns.h"
#include "districtruns.h"
#include "failure.h"
#include "qtwarnings.h"
#include "runfixture.h"
#include "testfiles.h"
#include "testmain.h"

#include <QtTest>

namespace {

// The host fails at the nth call of method whose text holds text (with a
// leading "=": is that text).
struct HostFault
{
    QString method;
    QString text;
    int nth = 1;
};

class FaultyHost : public TestRunHost
{
public:
    HostFault fault;

    void clearLog() override { call("clearLog", {}), TestRunHost::clearLog(); }
    void appendLog(const QString &piece) override { call("appendLog", piece), TestRunHost::appendLog(piece); }
    void setProgressMaximum(float maximum) override
    {
        call("setProgressMaximum", QString::number(maximum)), TestRunHost::setProgressMaximum(maximum);
    }
    void setProgressValue(float value) override
    {
        call("setProgressValue", QString::number(value)), TestRunHost::setProgressValue(value);
    }
    void setImportEnabled(bool enabled) override { call("setImportEnabled", {}), TestRunHost::setImportEnabled(enabled); }
    void showMessage(const QString &text, const QString &title, MessageIcon icon) override
    {
        call("showMessage", text), TestRunHost::showMessage(text, title, icon);
    }

private:
    void call(const char *method, const QString &text)
    {
        const bool exact = fault.text.startsWith(u'=');
        if (fault.method != QLatin1String(method) || !(exact ? text == fault.text.mid(1) : text.contains(fault.text)))
            return;
        if (--fault.nth == 0)
            throw Failure(ErrorNumber::InternalError, QStringLiteral("Test"), QStringLiteral("Das Fenster streikt."));
    }
};

const QByteArray DistrictRows = "Nr;Lfdnr;frei;Revier;Verbiss;Änderung;Jahr\r\n"
                                "A1;12;;Hofberg;3;0;2021\r\n"      // found, added
                                "A2;999;;Unbekannt;1;1;2021\r\n"   // not found
                                "A3;448;;Wald;4;3;2021\r\n";       // found, updated
const QByteArray CooperativeRows = "Hgnr;Jahr;Lkr;Lkrname;Alf_kurz;Alf_lang;Hgname;Belast;Abschuss\r\n"
                                   "449;2021;475;Hof;bm;Bayreuth;Helmbrechts;4;1\r\n" // found, added
                                   "448;2021;475;Hof;bm;Bayreuth;Naila;3;4\r\n"       // found with records, updated
                                   "448;2021;475;Hof;bm;Bayreuth;Naila;3;4\r\n"       // the same again
                                   "999;2021;475;Hof;bm;Bayreuth;Unbekannt;1;1\r\n";  // not found

// A refused update of row 4's change (district) or row 3's cull
// (cooperative): on PostgreSQL a check, which its batch of rows meets.
QStringList refusingUpdates(DatabaseSystem system)
{
    const QString refused = QStringLiteral("IdAenderungVerbissbelastung = 32 OR IdForstlicheAbschussEmpfehlung = 18");
    if (system == DatabaseSystem::SQLite)
        return {"CREATE TRIGGER nein BEFORE UPDATE ON ForstlichesGutachtenZurAbschussplanung WHEN "
                + QString(refused).replace("Id", "NEW.Id") + " BEGIN SELECT RAISE(ABORT, 'abgelehnt'); END"};
    if (system == DatabaseSystem::MariaDB)
        return {"CREATE TRIGGER nein BEFORE UPDATE ON ForstlichesGutachtenZurAbschussplanung FOR EACH ROW IF "
                + QString(refused).replace("Id", "NEW.Id") + " THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'abgelehnt'; END IF"};
    return {"ALTER TABLE ForstlichesGutachtenZurAbschussplanung ADD CONSTRAINT nein CHECK (NOT coalesce(" + refused
            + ", false)) NOT VALID"};
}

// A refused insert, as each database words it.
QStringList refusingInserts(DatabaseSystem system)
{
    if (system == DatabaseSystem::SQLite)
        return {"CREATE TRIGGER nein BEFORE INSERT ON ForstlichesGutachtenZurAbschussplanung "
                "BEGIN SELECT RAISE(ABORT, 'abgelehnt'); END"};
    if (system == DatabaseSystem::MariaDB)
        return {"CREATE TRIGGER nein BEFORE INSERT ON ForstlichesGutachtenZurAbschussplanung FOR EACH ROW "
                "SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'abgelehnt'"};
    return {"CREATE FUNCTION nein() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN RAISE EXCEPTION 'abgelehnt'; END $$",
            "CREATE TRIGGER nein BEFORE INSERT ON ForstlichesGutachtenZurAbschussplanung FOR EACH ROW EXECUTE FUNCTION nein()"};
}

} // namespace

class FailurePlacesTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnQtWarnings(); }
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void places_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("run");   // district/cooperative check/import
        QTest::addColumn<QString>("fault"); // "host method text [#nth]", "cell ROW COLUMN TEXT", "sql …",
                                            // "no workbook", "no log folder", "refused insert" or "update",
                                            // "no database location" (for the undo data)
        QTest::addColumn<int>("line");
        const QStringList table = QString::fromUtf8(fileBytes(TARVEL_TEST_DATA "/runs/failure-places.txt")).split(u'\n');
        // Across a link with delay the import's rows go out in one batch.
        const QStringList kinds = TestDatabase::kinds() << QStringLiteral("postgresql-delayed");
        for (const QString &kind : kinds) {
            for (const QString &place : table) {
                const QStringList parts = place.split(u'\t');
                if (place.startsWith(u'#') || parts.size() != 3 || (kind.endsWith("delayed") && !parts[0].endsWith("import")))
                    continue;
                const QString fault = QString(parts[2]).replace("\\t", "\t").replace("\\r\\n", "\r\n");
                QTest::addRow("%s: %s at %s: %s", qPrintable(kind), qPrintable(parts[0]), qPrintable(parts[1]), qPrintable(parts[2]))
                    << kind << parts[0] << fault << parts[1].toInt();
            }
        }
    }
    void places()
    {
        QFETCH(QString, kind);
        QFETCH(QString, run);
        QFETCH(QString, fault);
        QFETCH(int, line);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        const bool district = run.startsWith(QLatin1String("district"));
        seed(db, district ? "district" : "cooperative");
        RunFixture f(db);
        FaultyHost host;
        host.state = f.host.state;
        host.state.workbookPath = f.folder.filePath("mappe.csv");
        QList<QByteArray> rows = (district ? DistrictRows : CooperativeRows).split('\n');
        const QStringList words = fault.split(u' ');
        if (words[0] == "host") {
            QString text = fault.section(u' ', 2);
            int nth = 1;
            if (const qsizetype hash = text.lastIndexOf(QLatin1String(" #")); hash >= 0) {
                nth = text.mid(hash + 2).toInt();
                text.truncate(hash);
            }
            host.fault = {words[1], text, nth};
        }
        if (words[0] == "cell") {
            QList<QByteArray> cells = rows[words[1].toInt() - 1].split(';');
            cells[words[2].toInt() - 1] = words[3].toUtf8();
            rows[words[1].toInt() - 1] = cells.join(';');
        }
        if (words[0] == "sql")
            db.execute(fault.mid(4));
        if (fault.startsWith("refused")) {
            const DatabaseSystem system = db.connection()->system();
            for (const QString &statement : fault.endsWith("insert") ? refusingInserts(system) : refusingUpdates(system))
                db.execute(statement);
        }
        if (fault == "no database location")
            host.state.database.reset();
        if (fault == "no log folder")
            host.state.workbookFolder = f.folder.filePath("fehlt") + u'/';
        if (fault != "no workbook")
            QVERIFY(writeFileBytes(host.state.workbookPath, rows.join('\n')));
        host.log = QStringLiteral("vorher\r\n");

        const bool import = run.endsWith(QLatin1String("import"));
        const bool completed = district ? (import ? runDistrictImport(host) : runDistrictCheck(host))
                                        : (import ? runCooperativeImport(host) : runCooperativeCheck(host));
        QVERIFY(!completed);
        QCOMPARE(f.errors.reports.size(), 1);
        QCOMPARE(f.errors.reports[0].line, line);
        QCOMPARE(f.errors.reports[0].procedure, import ? QStringLiteral("cmdImportStarten_Click") : QStringLiteral("cmdImportTest_Click("));
    }
};

TARVEL_TEST_GUILESS_MAIN(FailurePlacesTest)
#include "tst_failureplaces.moc"
