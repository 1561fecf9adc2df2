// tarvel-batch where only POSIX systems can go: names that are no UTF-8 or
// hold a line break, signals by process id, a limit on the address space.
#include "batch.h"
#include "batchfixture.h"
#include "testfiles.h"
#include "testmain.h"
#include "testsignals.h"

#include <QFile>
#include <QtTest>

#include <csignal>
#include <cstdio>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

class BatchPosixTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

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

        // Damaged, the one error line shows the name as the log does.
        const QString damaged = f.kindWorkbook("cooperative", "Gut\nachten.xlsx");
        QVERIFY(QFile::resize(damaged, 100));
        out = std::tmpfile();
        QCOMPARE(runBatch({"check", "--cooperative", "--database", db.location().toUtf8(), QFile::encodeName(damaged)}, out, out),
                 int(BatchExit::RunFailed));
        std::rewind(out);
        QByteArray said(4096, '\0');
        said.resize(qsizetype(std::fread(said.data(), 1, size_t(said.size()), out)));
        std::fclose(out);
        QVERIFY2(said.startsWith("Fehler in frmTarvel") && said.contains("Gut␊achten.xlsx") && said.count('\n') == 1,
                 said.constData());
    }

    // The signals above reach tarvel-batch only while it runs: an ended
    // process has the id 0, and kill(0, …) would stop the test run itself.
    void signalsOnlyARunningProcess()
    {
        QProcess ended;
        ended.start(QStringLiteral(TARVEL_BATCH), {"--help"});
        QVERIFY(ended.waitForFinished());
        QString why;
        QVERIFY(!sendSignal(ended, SIGTERM, &why));
        QVERIFY(!sendSignal(ended.processId(), SIGTERM, &why));
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
};

TARVEL_TEST_GUILESS_MAIN(BatchPosixTest)
#include "tst_batch_posix.moc"
