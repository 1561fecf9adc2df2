// The window and tarvel-batch give the same log for the same workbook and
// database: the batch program runs the windows' own runs.
#include "batchfixture.h"
#include "cooperativewindow.h"
#include "districtwindow.h"
#include "scripteddialogs.h"

#include <QtTest>

#include <memory>

class BatchWindowTest : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void sameLog_data() { addDatabaseAndKindRows(); }

    // The check on one database; the import on two databases alike, one for
    // each, since an import changes what the next one logs.
    void sameLog()
    {
        QFETCH(QString, database);
        QFETCH(QString, kind);
        TARVEL_OPEN_TEST_DATABASE(forWindow, database);
        TARVEL_OPEN_TEST_DATABASE(forBatch, database);
        BatchFixture f(forWindow);
        BatchFixture other(forBatch);
        const QString path = f.kindWorkbook(kind, "Gutachten.xlsx");

        ScriptedDialogs dialogs;
        dialogs.fileAnswers = {path};
        std::unique_ptr<ImportWindow> window;
        if (kind == "district")
            window = std::make_unique<DistrictWindow>();
        else
            window = std::make_unique<CooperativeWindow>();
        window->setOrbeBase(&forWindow.base());
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        window->cmdDatei_Click();

        window->cmdImportTest_Click();
        const BatchResult check = f.batch({"check", "--" + kind, "--database", forWindow.location(), path});
        QCOMPARE(check.exitCode, 0);
        QVERIFY(!window->logText().isEmpty());
        QCOMPARE(QString::fromUtf8(check.out), window->logText());

        window->cmdImportStarten_Click();
        const BatchResult import = f.batch({"import", "--" + kind, "--database", forBatch.location(), path});
        QCOMPARE(import.exitCode, 0);
        QVERIFY(f.errors.reports.isEmpty());
        QVERIFY(window->logText().contains("hinzugefügt"));
        QCOMPARE(withoutTime(QString::fromUtf8(import.out)), withoutTime(window->logText()));
        QCOMPARE(f.logFiles().size(), 2);
        QCOMPARE(dialogs.messages.size(), 1);
        // The closing message, but for the name of the log file each wrote.
        QString shown = dialogs.messages[0].text;
        shown.replace("\r\n", "\n");
        QCOMPARE(import.errText().section('\n', 0, 1), shown.section('\n', 0, 1));
    }
};

QTEST_MAIN(BatchWindowTest)
#include "tst_batchwindow.moc"
