// The runs of both windows on their golden cases. Each case's workbook under
// tests/data/runs is checked, imported and imported again on each database,
// and on PostgreSQL across a link with delay, two rows to a batch;
// what the runs did (the exact log, progress, "Import Starten", the summary,
// messages, failures and the records) must read as the case's expected text
// beside it.
#include "cooperativeruns.h"
#include "districtruns.h"
#include "importlog.h"
#include "qtwarnings.h"
#include "runfixture.h"
#include "testfiles.h"
#include "testmain.h"
#include "workbookrows.h"

#include <QFile>
#include <QRegularExpression>
#include <QtTest>

#include <numeric>

namespace {

const QString Data = QStringLiteral(TARVEL_TEST_DATA "/runs/");

// What one run did, as text. The log must hold CR LF line breaks only; it is
// shown with line feeds and one more. What differs between runs and databases
// is made alike: the workbook's folder, the date and time (and the number a
// second log file of the same second gets), the case of field names.
QString transcript(const QString &title, RunFixture &f, bool completed)
{
    const QString log = f.host.log;
    if (log.count(u'\r') != log.count(QLatin1String("\r\n")) || log.count(u'\n') != log.count(u'\r'))
        return title + QStringLiteral(": Zeilenumbrüche nicht CR LF\n");
    QString text = QStringLiteral("### %1 (%2)\n").arg(title, completed ? "beendet" : "Fehler") + QString(log).replace(CRLF, "\n") + u'\n';
    const auto numbers = [](const QList<float> &values) {
        return std::accumulate(values.begin(), values.end(), QString(), [](const QString &text, float value) {
            return text + u' ' + QString::number(value);
        });
    };
    text += QStringLiteral("--- Fortschritt:%1;%2\n").arg(numbers(f.host.progressMaximums), numbers(f.host.progressValues));
    text += QStringLiteral("--- Import Starten: %1\n").arg(!f.host.importEnabled ? "unverändert" : *f.host.importEnabled ? "an" : "aus");
    for (const QString &summary : f.host.summaries)
        text += QStringLiteral("--- Zusammenfassung:\n") + summary + u'\n';
    for (const TestRunHost::Message &message : f.host.messages)
        text += QStringLiteral("--- Meldung (%1, %2):\n%3\n")
                    .arg(message.icon == MessageIcon::Information ? "Information" : "Ausrufezeichen", message.title,
                         QString(message.text).replace(CRLF, "\n"));
    for (const ErrorReportEntry &report : f.errors.reports)
        text += QStringLiteral("--- Fehler in %1, %2, Zeile %3, Nummer %4 (%5):\n%6\n")
                    .arg(report.place, report.procedure).arg(report.line).arg(report.number).arg(report.source, report.description);
    text += QStringLiteral("--- Datensätze:\n") + lines(assessments(f.database)).join(u'\n') + u'\n';
    static const QRegularExpression fieldName(QStringLiteral("\\b\\w+="));
    text = f.alikeEverywhere(text);
    for (auto match = fieldName.globalMatch(text); match.hasNext();) {
        const QRegularExpressionMatch found = match.next();
        text.replace(found.capturedStart(), found.capturedLength(), found.captured().toLower());
    }
    return text;
}

// The database refuses a new record of the collection, as each system can.
void refuseRecord(TestDatabase &db, int collection)
{
    const QString refused = QStringLiteral("IdJagdbezirksSammlung = %1").arg(collection);
    const QString table = QStringLiteral("ForstlichesGutachtenZurAbschussplanung");
    const DatabaseSystem system = db.connection()->system();
    if (system == DatabaseSystem::SQLite)
        db.execute("CREATE TRIGGER nein BEFORE INSERT ON " + table + " WHEN NEW." + refused
                   + " BEGIN SELECT RAISE(ABORT, 'abgelehnt'); END");
    else if (system == DatabaseSystem::MariaDB)
        db.execute("CREATE TRIGGER nein BEFORE INSERT ON " + table + " FOR EACH ROW IF NEW." + refused
                   + " THEN SIGNAL SQLSTATE '45000' SET MESSAGE_TEXT = 'abgelehnt'; END IF");
    else // a check, which leaves the insert to a batch
        db.execute("ALTER TABLE " + table + " ADD CONSTRAINT nein CHECK (NOT " + refused + ")");
}

} // namespace

class RunsTest : public QObject
{
    Q_OBJECT

private slots:
    void init() { failOnQtWarnings(); }
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    }

    void golden_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("workbook");
        QTest::addColumn<int>("cancelAfterRow");
        const QList<std::tuple<const char *, const char *, int>> cases = {
            {"district-mixed", "district-mixed", 0},
            {"district-cancelled", "district-mixed", 3},
            {"district-failure", "district-failure", 0},
            // The database refuses row 4's new record: row 2 stays saved, row
            // 5's update (in row 4's batch on a delayed link) is not made.
            {"district-refused", "district-mixed", 0},
            {"district-empty", "district-empty", 0},
            {"district-missing", "fehlt", 0},
            {"cooperative-blocks", "cooperative-blocks", 0},
            {"cooperative-cancelled", "cooperative-blocks", 4},
            {"cooperative-failure", "cooperative-failure", 0},
            {"cooperative-empty", "cooperative-empty", 0},
            {"cooperative-missing", "fehlt", 0},
            // The same window, a full run after a cancelled or a failed one
            // (its workbook not there yet): nothing of the first carries over.
            {"district-cancelled-then-full", "district-mixed", 3},
            {"cooperative-failed-then-full", "cooperative-blocks", 0},
        };
        const QStringList kinds = TestDatabase::kinds() << QStringLiteral("postgresql-delayed");
        for (const QString &kind : kinds) {
            for (const auto &[name, workbook, cancelAfterRow] : cases)
                QTest::addRow("%s: %s", qPrintable(kind), name) << kind << name << workbook << cancelAfterRow;
        }
    }
    void golden()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, workbook);
        QFETCH(int, cancelAfterRow);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        const bool district = name.startsWith(QLatin1String("district"));
        seed(db, district ? "district" : "cooperative");
        qputenv("TARVEL_BATCH_ROWS", kind.endsWith("delayed") ? "2" : "");
        if (name.endsWith(QLatin1String("refused")))
            refuseRecord(db, 103);
        RunFixture f(db);
        f.host.state.workbookPath = f.folder.filePath(workbook + ".csv");
        const bool thenFull = name.endsWith(QLatin1String("-then-full"));
        if (!name.contains(QLatin1String("failed-then-full")))
            QFile::copy(Data + workbook + ".csv", f.host.state.workbookPath);
        f.host.cancelAfterRow = cancelAfterRow;
        f.host.log = QStringLiteral("vorheriges Protokoll\r\n"); // a run that fails before its log begins keeps it

        QString actual;
        for (const QString title : {"Test", "Import", "Import noch einmal"}) {
            if (thenFull && title != QLatin1String("Test")) {
                f.host.cancelAfterRow = 0;
                QFile::copy(Data + workbook + ".csv", f.host.state.workbookPath);
            }
            f.host.progressMaximums.clear(), f.host.progressValues.clear(), f.host.importEnabled.reset();
            f.host.messages.clear(), f.host.summaries.clear();
            f.errors.reports.clear();
            const QStringList logFilesBefore = f.logFiles();
            const bool import = title != QLatin1String("Test");
            const bool completed = import ? (district ? runDistrictImport(f.host) : runCooperativeImport(f.host))
                                          : (district ? runDistrictCheck(f.host) : runCooperativeCheck(f.host));
            QCOMPARE(completed, f.errors.reports.isEmpty());
            actual += transcript(title, f, completed);
            // An import that began its log writes one new log file, the log
            // exactly, whether it ends or fails.
            QStringList written = f.logFiles();
            for (const QString &file : logFilesBefore)
                written.removeOne(file);
            actual += QStringLiteral("--- Protokolldateien: %1%2\n")
                          .arg(written.size())
                          .arg(written.size() == 1 && fileBytes(f.folder.filePath(written[0])) == f.host.log.toUtf8()
                                   ? ", gleich dem Protokoll" : "");
        }

        // Each database words its refusal in its own way; where rows go in
        // batches, the bar goes ahead of the saves and comes back to the row
        // that failed.
        static const QRegularExpression refusal(QStringLiteral("(Der neue Datensatz konnte nicht gespeichert werden).*?(?=\\n--- )"),
                                                QRegularExpression::DotMatchesEverythingOption);
        static const QRegularExpression progress(QStringLiteral("(--- Fortschritt: \\d+;).* (\\d+)\n"));
        if (name.endsWith(QLatin1String("refused")))
            actual.replace(refusal, QStringLiteral("\\1 …")).replace(progress, QStringLiteral("\\1 … \\2\n"));
        compareWithGolden(Data + name + ".txt", actual);
    }

    // Two districts of kind 1 with one running number and the same latest
    // hunting year: the import writes to the first row that the district
    // statement of that number alone returns, whichever the database puts
    // first, also where the rows were read together with others.
    void tiedDistricts_data()
    {
        QTest::addColumn<QString>("kind");
        for (const QString &kind : TestDatabase::kinds())
            QTest::newRow(qPrintable(kind)) << kind;
    }
    void tiedDistricts()
    {
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, kind);
        seed(db, "district");
        db.execute("insert into JagdbezirksSammlung values (30, 1, '3000', 'Dreißig'), (31, 1, '3100', 'Einunddreißig')");
        db.execute("insert into Jagdbezirk (Jagdbezirk_ID_PK, Jagdbezirk_Sammlung_ID_FK) values (300, 30), (310, 31)");
        db.execute("insert into JagdbezirkDatenBayern (JagdbezirkDatenBayern_Jagdbezirk_ID_FK, JagdbezirkDatenBayern_Lfdnr, "
                   "JagdbezirkDatenBayern_Jagdjahr, JagdbezirkDatenBayern_Reviername) values "
                   "(310, 77, 2022, 'B'), (300, 77, 2022, 'A'), (300, 77, 2019, 'alt')");
        RunFixture f(db);
        f.workbook("mappe.xlsx", {{"Nr", "Lfdnr", "frei", "Revier", "Verbiss", "Änderung", "Jahr"},
                                  {"A1", 12, QVariant(), "Hofberg", 3, 0, 2021},
                                  {"A2", 77, QVariant(), "Gleichstand", 3, 0, 2021}});
        QVERIFY(runDistrictImport(f.host));
        const QString first = f.scalar("select JagdbezirksSammlung_ID_PK from JagdbezirksSammlung, Jagdbezirk, JagdbezirkDatenBayern\r\n"
                                       " where JagdbezirksSammlung_ID_PK = Jagdbezirk_Sammlung_ID_FK"
                                       " and JagdbezirkDatenBayern_Jagdbezirk_ID_FK = Jagdbezirk_ID_PK"
                                       " and JagdbezirksSammlung_JagdbezirksSammlungsArt_ID_FK = 1"
                                       " and JagdbezirkDatenBayern_Lfdnr = 00077 order by JagdbezirkDatenBayern_Jagdjahr desc");
        const Records records = assessments(db);
        QVERIFY2(records.contains(first + "/2021") && !records.contains(QString(first == "30" ? "31" : "30") + "/2021"),
                 qPrintable(lines(records).join(u'\n')));
    }

    // Rows 2 to 10000 are taken, row 10001 only read to tell that it was left,
    // and damage further down goes unnoticed.
    void rowBound_data()
    {
        QTest::addColumn<bool>("district");
        QTest::newRow("district") << true;
        QTest::newRow("cooperative") << false;
    }
    void rowBound()
    {
        QFETCH(bool, district);
        TARVEL_OPEN_TEST_DATABASE(db, "sqlite");
        // Every row's district is known: each row must find its own, also the
        // rows beyond the first hundred, which are looked up together.
        const QString numbers = QStringLiteral("WITH RECURSIVE n(i) AS (SELECT 2 UNION ALL SELECT i + 1 FROM n WHERE i < 10001) ");
        if (district) {
            db.execute(numbers + "INSERT INTO JagdbezirksSammlung SELECT i, 1, i, 'S' FROM n");
            db.execute(numbers + "INSERT INTO Jagdbezirk (Jagdbezirk_ID_PK, Jagdbezirk_Sammlung_ID_FK) SELECT i, i FROM n");
            db.execute(numbers + "INSERT INTO JagdbezirkDatenBayern (JagdbezirkDatenBayern_Jagdbezirk_ID_FK, JagdbezirkDatenBayern_Lfdnr) SELECT i, i FROM n");
        }
        const int found = district ? 9999 : 0;
        const QString rest = QStringLiteral(", nicht gefunden: %1\nNicht gelesen ab Zeile 10001: Kein Lauf liest mehr als 10000 Zeilen.")
                                 .arg(9999 - found);
        RunFixture f(db);
        QByteArray csv = district ? "Nr;Lfdnr;frei;Revier;Verbiss;Änderung;Jahr\r\n"
                                  : "Hgnr;Jahr;Lkr;Lkrname;Alf_kurz;Alf_lang;Hgname;Belast;Abschuss\r\n";
        for (int row = FirstDataRow; row <= LastReadRow; ++row)
            csv += district ? QByteArray("x;%1;;Revier;1;1;2021\r\n").replace("%1", QByteArray::number(row))
                            : QByteArray("%1;2021;475;Hof;bm;lang;HG;1;1\r\n").replace("%1", QByteArray::number(row));
        csv += "\"nie geschlossen\r\n";
        f.host.state.workbookPath = f.folder.filePath("lang.csv");
        QVERIFY(writeFileBytes(f.host.state.workbookPath, csv));

        QVERIFY(district ? runDistrictCheck(f.host) : runCooperativeCheck(f.host));
        QVERIFY(f.host.log.contains(district ? "Excel Zeile (10000) 10000, Revier" : "Datenbank: 10000, HG, 2021"));
        QVERIFY(!f.host.log.contains("10001"));
        QCOMPARE(f.host.progressMaximums, QList<float>{float(LastExaminedRow)});
        QCOMPARE(f.host.summaries, QStringList{QStringLiteral("Gefunden: %1").arg(found) + rest});
        QVERIFY(district ? runDistrictImport(f.host) : runCooperativeImport(f.host));
        QVERIFY(!f.host.log.contains("10001"));
        QCOMPARE(f.host.summaries.last(), QStringLiteral("Gefunden: %1 (hinzugefügt: %1, aktualisiert: 0)").arg(found) + rest);
    }

};

TARVEL_TEST_GUILESS_MAIN(RunsTest)
#include "tst_runs.moc"
