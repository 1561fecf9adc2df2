// tarvel-batch end to end: the built program on real databases and workbooks.
#include "batch.h"
#include "batchfixture.h"
#include "consolerunhost.h"
#include "cooperativeruns.h"
#include "districtruns.h"
#include "testfiles.h"
#include "importlog.h"

#include <QFile>
#include <QtTest>

#include <csignal>
#include <cstdio>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

class BatchTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // The check's log on standard output is byte for byte the run's log in a
    // host of its own, its counts on standard error, and nothing is written.
    // The import writes the database and the log file as the window does; the
    // closing message with the counts goes to standard error, each line once.
    // No check is needed before it.
    void checkAndImport_data()
    {
        QTest::addColumn<QString>("database");
        QTest::addColumn<QString>("kind");
        for (const QString &database : TestDatabase::kinds())
            for (const QString kind : {"district", "cooperative"})
                QTest::newRow(qPrintable(database + ' ' + kind)) << database << kind;
    }
    void checkAndImport()
    {
        QFETCH(QString, database);
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(db, database);
        BatchFixture f(db);
        const QString path = f.kindWorkbook(kind, "Gutachten.xlsx");
        QVERIFY(kind == "district" ? runDistrictCheck(f.host) : runCooperativeCheck(f.host));

        const BatchResult check = f.batch({"check", "--" + kind, path}, {}, db.location());
        QCOMPARE(check.errText(), "Gefunden: 1, nicht gefunden: 1\n");
        QCOMPARE(check.exitCode, 0);
        QCOMPARE(check.out, f.host.log.toUtf8());
        QVERIFY(f.logFiles().isEmpty());
        QCOMPARE(f.importedRecord(kind), "fehlt");

        // --database counts before TARVEL_DATABASE.
        const BatchResult import = f.batch({"import", "--" + kind, "--database", db.location(), path}, {}, "fehlt.sqlite");
        QCOMPARE(import.exitCode, 0);
        QCOMPARE(import.out.count("hinzugefügt"), 1);
        QCOMPARE(fileBytes(f.folder.filePath(f.logFiles().value(0))), import.out);
        QCOMPARE(import.errText(), "Import beendet\nProtokolldatei: \n" + f.folder.filePath(f.logFiles().value(0))
                                       + "\n\nGefunden: 1 (hinzugefügt: 1, aktualisiert: 0), nicht gefunden: 1\n");
        QCOMPARE(f.importedRecord(kind), "Rehwild 13");
    }

    // A workbook that is no workbook fails in every run at the place the
    // window's message box would name; the error log gets the report too.
    // Without --database and TARVEL_DATABASE the run uses the embedded default.
    void unreadableWorkbook_data()
    {
        QTest::addColumn<QString>("action");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("procedure");
        QTest::addColumn<int>("line");
        QTest::newRow("district check") << "check" << "district"
                                        << "frmTarvelJagdbezirk, Prozedur cmdImportTest_Click(" << 30;
        QTest::newRow("district import") << "import" << "district"
                                         << "frmTarvelJagdbezirk, Prozedur cmdImportStarten_Click" << 30;
        QTest::newRow("cooperative check") << "check" << "cooperative"
                                           << "frmTarvel, Prozedur cmdImportTest_Click(" << 40;
        QTest::newRow("cooperative import") << "import" << "cooperative"
                                            << "frmTarvel, Prozedur cmdImportStarten_Click" << 30;
    }
    void unreadableWorkbook()
    {
        QFETCH(QString, action);
        QFETCH(QString, kind);
        QFETCH(QString, procedure);
        QFETCH(int, line);
        TARVEL_OPEN_TEST_DATABASE(db, "sqlite");
        BatchFixture f(db);
        const QString path = f.kindWorkbook(kind, "kaputt.xlsx");
        QVERIFY(QFile::resize(path, 100)); // a zip archive cut short

        const BatchResult result = f.batch({action, "--" + kind, path});

        QVERIFY(QFileInfo::exists(f.dataFolder() + "tarvel.sqlite"));
        QCOMPARE(result.exitCode, 1);
        QVERIFY(result.out.isEmpty());
        const QString message = result.errText();
        QVERIFY2(QRegularExpression("^Fehler in " + QRegularExpression::escape(procedure) + "; Fehlernummer: \\d+; "
                                    "Quelle: Arbeitsmappe; Beschreibung: [^\n]+; Fehlerzeile: " + QString::number(line) + "\n$")
                     .match(message).hasMatch(), qPrintable(message));
        const QString errorLog = QString::fromUtf8(fileBytes(f.dataFolder() + "Fehlerprotokoll.txt"));
        QVERIFY2(errorLog.contains("Prozedur: " + procedure.section(", Prozedur ", 1)), qPrintable(errorLog));
        QVERIFY(f.logFiles().isEmpty());
    }

    // A failing row ends the run: what came before is imported and logged on
    // standard output, the report names the row's cell, no log file is written.
    // The error log on a full disk is told on standard error.
    void failureKeepsTheLogSoFar_data()
    {
        QTest::addColumn<QString>("database");
        QTest::addColumn<bool>("fullDisk");
        for (const QString &database : TestDatabase::kinds())
            QTest::newRow(qPrintable(database)) << database << false;
        QTest::newRow("sqlite, error log on a full disk") << "sqlite" << true;
    }
    void failureKeepsTheLogSoFar()
    {
        QFETCH(QString, database);
        QFETCH(bool, fullDisk);
        TARVEL_OPEN_TEST_DATABASE(db, database);
        BatchFixture f(db);
        const QString path =
            f.kindWorkbook("district", "Gutachten.xlsx", {{"A3", "12x", QVariant(), "Falsch", 1, 1, 2021}});
        const QString errorLog = f.dataFolder() + "Fehlerprotokoll.txt";
        if (fullDisk)
            QVERIFY(QDir().mkpath(f.dataFolder()) && QFile::link("/dev/full", errorLog));

        const BatchResult result = f.batch({"import", "--district", "--database", db.location(), path});

        QCOMPARE(result.exitCode, 1);
        const QString log = QString::fromUtf8(result.out);
        QVERIFY2(log.contains("(Zeile 2)\t hinzugefügt: A1, Hofberg, 12, 2021" + CRLF), qPrintable(log));
        QVERIFY(log.endsWith("(Zeile 3) Jagdbezirk (Laufende Nummer) nicht in der Datenbank: Unbekannt, 999, 2021"
                             + CRLF + CRLF));
        const QString report = "Fehler in frmTarvelJagdbezirk, Prozedur cmdImportStarten_Click; Fehlernummer: 13; "
                               "Quelle: Tarvel; Beschreibung: Typen unverträglich: Zeile 4, Spalte 2 (Lfdnr) enthält "
                               "„12x“, das ist keine laufende Nummer (ganze Zahl). Der Lauf endet bei dieser Zeile.; "
                               "Fehlerzeile: 110\n";
        QVERIFY2(result.errText().endsWith(report), qPrintable(result.errText()));
        QCOMPARE(result.errText().contains("Tarvel: Fehlerprotokoll " + errorLog + " nicht beschreibbar\n"), fullDisk);
        QCOMPARE(result.errText() == report, !fullDisk);
        QCOMPARE(f.importedRecord("district"), "Rehwild 13");
        QVERIFY(f.logFiles().isEmpty());
    }

    // Calls refused before any run, none of them creating the default database:
    // a wrong call (2, with the usage), a workbook the window would refuse (2),
    // no database (3). <mappe> stands for a readable workbook.
    void refusedCalls_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("variable"); // TARVEL_DATABASE, or null
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");  // its start, then a part
        const QString none;
        QTest::newRow("nothing") << QStringList{} << none << 2 << "tarvel-batch: |check oder import";
        QTest::newRow("unknown action") << QStringList{"pruefen", "--district", "a.xlsx"} << none << 2
                                        << "tarvel-batch: |„pruefen“";
        QTest::newRow("no kind") << QStringList{"check", "a.xlsx"} << none << 2
                                 << "tarvel-batch: |--district oder --cooperative";
        QTest::newRow("both kinds") << QStringList{"check", "--district", "--cooperative", "a.xlsx"} << none << 2
                                    << "tarvel-batch: |schließen einander aus";
        QTest::newRow("no workbook") << QStringList{"import", "--cooperative"} << none << 2
                                     << "tarvel-batch: |Arbeitsmappe";
        QTest::newRow("two workbooks") << QStringList{"import", "--district", "a.xlsx", "b.xlsx"} << none << 2
                                       << "tarvel-batch: |„b.xlsx“";
        QTest::newRow("database without value") << QStringList{"check", "--district", "a.xlsx", "--database"} << none
                                                << 2 << "tarvel-batch: |Nach --database";
        QTest::newRow("database twice") << QStringList{"check", "--district", "--database", "x", "--database=y", "a.xlsx"}
                                        << none << 2 << "tarvel-batch: |mehr als einmal";
        QTest::newRow("unknown option") << QStringList{"check", "--district", "--force", "a.xlsx"} << none << 2
                                        << "tarvel-batch: |„--force“";
        QTest::newRow("missing workbook") << QStringList{"import", "--district", "fehlt.xlsx"} << none << 2
                                          << "Gültige Datei auswählen: |fehlt.xlsx";
        QTest::newRow("folder") << QStringList{"import", "--district", "."} << none << 2
                                << "Gültige Datei auswählen: |/";
        QTest::newRow("empty workbook name") << QStringList{"import", "--district", ""} << none << 2
                                             << "Gültige Datei auswählen: |";
        const QString noConnection = QStringLiteral("Tarvel: keine Datenbankverbindung: |");
        QTest::newRow("missing SQLite file") << QStringList{"import", "--district", "--database", "fehlt.sqlite", "<mappe>"}
                                             << none << 3 << noConnection + "fehlt.sqlite gibt es nicht";
        QTest::newRow("unreachable PostgreSQL")
            << QStringList{"import", "--district", "--database", "postgresql://jagd@/jagd?host=/nirgends", "<mappe>"}
            << none << 3 << noConnection + "/nirgends";
        QTest::newRow("malformed location")
            << QStringList{"import", "--district", "--database", "postgresql://jagd@host:99999/jagd", "<mappe>"}
            << none << 3 << noConnection + "„99999“";
        QTest::newRow("variable") << QStringList{"import", "--district", "<mappe>"} << "sqlite:fehlt.sqlite" << 3
                                  << noConnection + "fehlt.sqlite gibt es nicht";
    }
    void refusedCalls()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, variable);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        TARVEL_OPEN_TEST_DATABASE(db, "sqlite");
        BatchFixture f(db);
        arguments.replaceInStrings("<mappe>", f.kindWorkbook("district", "Gutachten.xlsx"));

        const BatchResult result = f.batch(arguments, QString(), variable);

        QCOMPARE(result.exitCode, exitCode);
        QVERIFY(result.out.isEmpty());
        QVERIFY2(result.errText().startsWith(message.section(u'|', 0, 0))
                     && result.errText().contains(message.section(u'|', 1)), qPrintable(result.errText()));
        QCOMPARE(result.errText().endsWith(batchUsage()), message.startsWith("tarvel-batch: "));
        QVERIFY(f.logFiles().isEmpty());
        QVERIFY(!QFileInfo::exists(f.dataFolder() + "tarvel.sqlite"));
    }

    // A relative workbook stands in the log and decides the log file's folder
    // as the absolute path the file dialog would have given. A name that is no
    // UTF-8 (the dialog never gives one) is taken as the system passes it and
    // shown as far as it reads, a line break in it as cell texts show it.
    void workbookNames()
    {
        TARVEL_OPEN_TEST_DATABASE(db, "sqlite");
        BatchFixture f(db);
        const QString path = f.kindWorkbook("cooperative", "Gutachten.xlsx");
        QVERIFY(::rename(QFile::encodeName(path), QFile::encodeName(f.folder.path()) + "/Gut\xe9\nachten.xlsx") == 0);
        std::FILE *out = std::tmpfile();
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(f.folder.path()));
        const int status = runBatch({"import", "--cooperative", "--database", db.location().toUtf8(), "Gut\xe9\nachten.xlsx"}, out, out);
        QDir::setCurrent(previous);
        std::fclose(out);
        QCOMPARE(status, 0);
        QCOMPARE(f.importedRecord("cooperative"), "Rehwild 13");
        const QByteArray logFile = fileBytes(f.folder.filePath(f.logFiles().value(0)));
        QVERIFY2(logFile.contains(("\r\nQuelle: " + f.folder.path() + "/Gut\uFFFD␊achten.xlsx\r\n").toUtf8()), logFile.constData());
    }

    // A signal stops the import after a row: the rows before stay saved, the
    // log ends with the line that says so and is written to its file. A second
    // signal, or SIGKILL, ends the program at once; standard output then holds
    // the log of saved rows only, never a row that was not saved.
    void stoppedBySignals_data()
    {
        QTest::addColumn<QList<int>>("sent");
        QTest::addColumn<int>("exitCode"); // -1: ended by the signal
        QTest::newRow("SIGINT") << QList<int>{SIGINT} << 130;
        QTest::newRow("SIGTERM") << QList<int>{SIGTERM} << 143;
        // Two of the same kind sent at once may arrive as one.
        QTest::newRow("SIGINT, then SIGTERM") << QList<int>{SIGINT, SIGTERM} << -1;
        QTest::newRow("SIGKILL") << QList<int>{SIGKILL} << -1;
    }
    void stoppedBySignals()
    {
        QFETCH(QList<int>, sent);
        QFETCH(int, exitCode);
        TARVEL_OPEN_TEST_DATABASE(db, "sqlite");
        BatchFixture f(db);
        WorkbookRows rows;
        for (int year = 3000; year < 8000; ++year)
            rows << QVariantList{"A", 12, QVariant(), "Hofberg", 3, 0, year};
        const QString path = f.kindWorkbook("district", "Gutachten.xlsx", rows);
        QProcess process;
        f.start(process, {"import", "--district", "--database", db.location(), path});
        QByteArray out;
        while (!out.contains("(Zeile 40)") && process.waitForReadyRead(20000))
            out += process.readAllStandardOutput();
        for (const int signal : sent)
            ::kill(pid_t(process.processId()), signal);
        QVERIFY(process.waitForFinished(60000));
        out += process.readAllStandardOutput();
        QCOMPARE(process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1, exitCode);

        const qsizetype shownAsSaved = out.count("\t hinzugefügt: ");
        const int saved =
            f.scalar("select count(*) from ForstlichesGutachtenZurAbschussplanung where IdJagdbezirksSammlung = 101").toInt();
        QVERIFY2(shownAsSaved >= 38 && saved < 5000, qPrintable(QString::number(saved)));
        if (exitCode > 0) {
            QCOMPARE(shownAsSaved, saved);
            // Row 2 and rows 4 to N are saved.
            const QByteArray end = "\r\nImport abgebrochen nach Zeile " + QByteArray::number(saved + 2) + "\r\n";
            QVERIFY2(out.endsWith(end), out.right(200).constData());
            QVERIFY(process.readAllStandardError().startsWith(end.trimmed() + "\nProtokolldatei: \n"));
            QCOMPARE(fileBytes(f.folder.filePath(f.logFiles().value(0))), out);
        } else {
            // The row being saved when the program ended may be missing, no more.
            QVERIFY2(shownAsSaved == saved || shownAsSaved + 1 == saved, qPrintable(QString::number(saved)));
            QVERIFY2(QRegularExpression("hinzugefügt: A, Hofberg, 12, \\d{4}\r\n$").match(QString::fromUtf8(out)).hasMatch(),
                     out.right(200).constData());
        }
    }

    // Running out of memory in the middle of a run ends it through its trap,
    // naming the row, in a child process with little address space left. (The
    // program ended through qTerminate when it then wrote the whole log at once.)
    void outOfMemoryEndsThroughTheTrap()
    {
#if defined(__SANITIZE_ADDRESS__) || __has_feature(address_sanitizer) // Qt defines __has_feature for GCC
        QSKIP("the address sanitizer reserves more address space than the limit leaves");
#endif
        TARVEL_OPEN_TEST_DATABASE(db, "sqlite");
        BatchFixture f(db);
        WorkbookRows rows;
        // One shared string, within the reader's bound on the text of the rows
        // read; the import logs it twice a row.
        for (int row = 0; row < 500; ++row)
            rows << QVariantList{"x", 999, QVariant(), QString(30000, u'N')};
        const QString path = f.kindWorkbook("district", "gross.xlsx", rows);
        const QByteArray messages = f.folder.filePath("meldungen").toUtf8();
        const pid_t child = fork();
        if (child == 0) {
            const long pages = QString::fromLatin1(fileBytes("/proc/self/statm")).section(u' ', 0, 0).toLong();
            const rlimit limit{rlim_t(pages * sysconf(_SC_PAGESIZE) + (40 << 20)), RLIM_INFINITY};
            std::FILE *log = std::fopen("/dev/null", "w");
            std::FILE *errors = std::fopen(messages.constData(), "w");
            _exit(setrlimit(RLIMIT_AS, &limit) == 0
                      ? runBatch({"import", "--district", "--database", db.location().toUtf8(), path.toUtf8()}, log, errors)
                      : 99);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY2(WIFEXITED(status) && WEXITSTATUS(status) == BatchExit::RunFailed, qPrintable(QString::number(status)));
        QVERIFY2(QRegularExpression("Nicht genügend Speicher bei Zeile \\d+\\.; Fehlerzeile: (130|290)\n$")
                     .match(QString::fromUtf8(fileBytes(messages))).hasMatch(),
                 fileBytes(messages).constData());
    }

    // On a terminal the progress is one line rewritten in place. It is taken
    // away before the log and the messages, which come in the window's order
    // when both streams are the same terminal. An import whose log file cannot
    // be written is no normal end: the host remembers the warning that makes
    // the program's status 1.
    void progressOnTerminal()
    {
        std::FILE *terminal = std::tmpfile();
        QVERIFY(terminal);
        {
            ConsoleRunHost host("frmTest", terminal, terminal, true);
            host.setProgressMaximum(3);
            for (const float row : {2.0f, 3.0f})
                host.setProgressValue(row);
            host.appendLog("Protokoll\r\n");
            host.showMessage("Import beendet\r\nProtokolldatei: ", "Tarvel", MessageIcon::Information);
            QVERIFY(!host.warned());
            host.windowState().workbookFolder = "/nicht/vorhandener/ordner/";
            finishImportLog(host, RunSummary{});
            QVERIFY(host.warned());
            host.setProgressValue(2);
        }
        std::rewind(terminal);
        QByteArray written(4096, '\0');
        written.resize(qsizetype(std::fread(written.data(), 1, size_t(written.size()), terminal)));
        std::fclose(terminal);
        QCOMPARE(written, QByteArray("\rZeile 2 von 3\rZeile 3 von 3\r\x1b[KProtokoll\r\n"
                                     "Import beendet\nProtokolldatei: \nFehler beim Schreiben der Protokolldatei\n"
                                     "\rZeile 2 von 3\r\x1b[K"));
    }
};

QTEST_GUILESS_MAIN(BatchTest)
#include "tst_batch.moc"
