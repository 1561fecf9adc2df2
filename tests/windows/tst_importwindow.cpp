#include "frmtarvel.h"
#include "frmtarveljagdbezirk.h"
#include "orbeconnection.h"
#include "errorreportcapture.h"
#include "scripteddialogs.h"
#include "testdatabase.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <functional>
#include <memory>

namespace {

std::unique_ptr<ImportWindow> makeWindow(const QString &kind)
{
    if (kind == QLatin1String("district"))
        return std::make_unique<frmTarvelJagdbezirk>();
    return std::make_unique<frmTarvel>();
}

// A window of the shared frame whose runs are supplied by the test, to watch
// how the frame holds a run.
class ProbeWindow : public ImportWindow
{
public:
    ProbeWindow()
        : ImportWindow(QStringLiteral("frmProbe"), QStringLiteral("Probe"),
                       TwipRect{60, 600, 13635, 7815})
    {
    }
    std::function<void(ProbeWindow &)> check;
    int checks = 0;

protected:
    void runCheck() override
    {
        ++checks;
        if (check)
            check(*this);
    }
    void runImport() override {}
};

QString shownText(QString log)
{
    return log.remove(QLatin1Char('\r'));
}

bool touch(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write("x") == 1;
}


} // namespace

class TestImportWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestDatabase> m_database;
    QTemporaryDir m_files;
    QString m_previousDir;

    // A window loaded with the test database, shown at its design size.
    void open(ImportWindow &window)
    {
        window.setOrbeBase(&m_database->base());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        m_database = std::make_unique<TestDatabase>(QStringLiteral("sqlite"));
        QVERIFY2(m_database->isAvailable(), qPrintable(m_database->unavailableReason()));
        QVERIFY(m_files.isValid());
        // Relative answers of the file dialog resolve against this folder.
        m_previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_files.path()));
    }

    void cleanupTestCase()
    {
        QDir::setCurrent(m_previousDir);
        m_database.reset();
    }

    void designAndLoad_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("caption");
        QTest::newRow("district") << "district" << "frmTarvelJagdbezirk" << "TarvelJagdbezirk";
        QTest::newRow("cooperative") << "cooperative" << "frmTarvel"
                                     << "Tarvel Hegegemeinschaften";
    }

    void designAndLoad()
    {
        QFETCH(QString, kind);
        QFETCH(QString, name);
        QFETCH(QString, caption);
        auto window = makeWindow(kind);
        open(*window);

        QCOMPARE(window->windowTitle(), caption);
        QCOMPARE(window->placeName(), name);
        QCOMPARE(window->size(), QSize(1005, 615)); // 15075 x 9225 twips at 96 dpi
        QVERIFY(window->windowFlags() & Qt::WindowMaximizeButtonHint);
        QVERIFY(window->windowFlags() & Qt::WindowMinimizeButtonHint);

        QVERIFY(!window->cmdImportTest()->isEnabled());
        QVERIFY(!window->cmdImportStarten()->isEnabled());
        QVERIFY(window->txt1()->toPlainText().isEmpty());
        QVERIFY(!window->txt1()->isReadOnly());
        QCOMPARE(window->progressBar1()->maximum(), 100);

        QCOMPARE(window->panel1()->text(), m_database->connection()->Description());
        QVERIFY(!window->panel1()->text().isEmpty());
        QVERIFY(window->panel2()->text().isEmpty());
        QCOMPARE(window->statusBar1()->geometry(), QRect(0, 598, 1005, 17));

        // Tab order as designed: Test, text box, file, import, cancel.
        const QList<QWidget *> designed{window->cmdImportTest(), window->txt1(),
                                        window->cmdDatei(), window->cmdImportStarten(),
                                        window->cmdBeenden()};
        QList<QWidget *> chain;
        for (QWidget *w = window->cmdImportTest(); chain.size() < designed.size();
             w = w->nextInFocusChain()) {
            if (designed.contains(w) && !chain.contains(w))
                chain << w;
        }
        QCOMPARE(chain, designed);
    }

    void layout_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("txtWidth");
        QTest::addColumn<int>("txtHeight");
        QTest::addColumn<int>("barTop");
        QTest::addColumn<int>("barWidth");
        QTest::addColumn<int>("panel2Width");

        QTest::newRow("district design") << "district" << 15075 << 9225 << 14955 << 7935 << 8565 << 14955 << 7075;
        QTest::newRow("cooperative design") << "cooperative" << 15075 << 9225 << 14835 << 7875 << 8565 << 14835 << 7075;
        // Below 1290 (1350) twips the text box keeps the height of the design
        // layout before it; the progress bar follows that height.
        QTest::newRow("district too low") << "district" << 15075 << 1200 << 14955 << 7935 << 8565 << 14955 << 7075;
        QTest::newRow("district just high enough") << "district" << 15075 << 1290 << 14955 << 0 << 630 << 14955 << 7075;
        QTest::newRow("cooperative too low") << "cooperative" << 15075 << 1335 << 14835 << 7875 << 8565 << 14835 << 7075;
        // Too narrow: the widths keep their values, the heights go on.
        QTest::newRow("district too narrow") << "district" << 105 << 9225 << 14955 << 7935 << 8565 << 14955 << 7075;
    }

    void layout()
    {
        QFETCH(QString, kind);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, txtWidth);
        QFETCH(int, txtHeight);
        QFETCH(int, barTop);
        QFETCH(int, barWidth);
        QFETCH(int, panel2Width);
        auto window = makeWindow(kind);
        open(*window);

        window->setInnerSizeTwips(width, height);
        QCOMPARE(window->innerSizeTwips(), QSize(width, height));
        QCOMPARE(window->txt1Twips().width, txtWidth);
        QCOMPARE(window->txt1Twips().height, txtHeight);
        QCOMPARE(window->progressBarTwips().top, barTop);
        QCOMPARE(window->progressBarTwips().width, barWidth);
        QCOMPARE(window->progressBarTwips().height, 375);
        QCOMPARE(window->panel2WidthTwips(), panel2Width);
        // Lefts and the text box's top never move.
        QCOMPARE(window->progressBarTwips().left, 120);
        const TwipRect status = window->statusBarTwips();
        QCOMPARE(status.top, height - 255);
        QCOMPARE(status.width, width);

        // The widgets follow the model (96 dpi: 15 twips to the pixel).
        QCOMPARE(window->txt1()->geometry(),
                 QRect(window->txt1Twips().left / 15, window->txt1Twips().top / 15,
                       txtWidth / 15, txtHeight / 15));
        QCOMPARE(window->progressBar1()->geometry().top(), barTop / 15);
    }

    void fileChoiceAccepted_data()
    {
        QTest::addColumn<QString>("answer");   // %T: the temporary folder
        QTest::addColumn<QString>("fileOnDisk");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("importBefore");

        QTest::newRow("dialog path with /") << "%T/Erhebung.xlsx" << "Erhebung.xlsx"
                                            << "%T/" << "Erhebung.xlsx" << false;
        // A file name holding backslashes stands in for a Windows path.
        QTest::newRow("path with \\") << "D:\\Daten\\Erhebung.xlsx" << "D:\\Daten\\Erhebung.xlsx"
                                      << "D:\\Daten\\" << "Erhebung.xlsx" << false;
        QTest::newRow("last separator wins") << "%T/Unter\\Gutachten 2024.csv"
                                             << "Unter\\Gutachten 2024.csv"
                                             << "%T/Unter\\" << "Gutachten 2024.csv" << false;
        QTest::newRow("no separator") << "Erhebung.xls" << "Erhebung.xls" << ""
                                      << "Erhebung.xls" << false;
        QTest::newRow("after a check run") << "%T/Erhebung.xlsx" << "Erhebung.xlsx"
                                           << "%T/" << "Erhebung.xlsx" << true;
    }

    void fileChoiceAccepted()
    {
        QFETCH(QString, answer);
        QFETCH(QString, fileOnDisk);
        QFETCH(QString, folder);
        QFETCH(QString, fileName);
        QFETCH(bool, importBefore);
        answer.replace(QLatin1String("%T"), m_files.path());
        folder.replace(QLatin1String("%T"), m_files.path());
        QVERIFY(touch(m_files.filePath(fileOnDisk)));

        ScriptedDialogs dialogs;
        dialogs.fileAnswers = {answer};
        frmTarvel window;
        open(window);
        window.setImportEnabled(importBefore);
        window.cmdDatei_Click();

        QCOMPARE(dialogs.fileDialogFilters.size(), 1);
        QCOMPARE(dialogs.fileDialogFilters.first(),
                 QStringList({"Excel (*.xlsx)", "Excel Files (*.xls *.csv)", "All Files (*)"}));
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(window.windowState().workbookPath, answer);
        QCOMPARE(window.windowState().workbookFolder, folder);
        QCOMPARE(window.panel1()->text(), folder);
        QCOMPARE(window.panel1()->toolTip(), folder);
        QCOMPARE(window.panel2()->text(), fileName);
        QCOMPARE(window.panel2()->toolTip(), fileName);
        QVERIFY(window.cmdImportTest()->isEnabled());
        QCOMPARE(window.cmdImportStarten()->isEnabled(), importBefore);
    }

    void fileChoiceCancelledChangesNothing()
    {
        const QString path = m_files.filePath(QStringLiteral("Vorher.xlsx"));
        QVERIFY(touch(path));
        ScriptedDialogs dialogs;
        dialogs.fileAnswers = {path, QString()};
        frmTarvelJagdbezirk window;
        open(window);
        window.cmdDatei_Click();
        window.setImportEnabled(true);

        window.cmdDatei_Click();
        QCOMPARE(dialogs.fileDialogFilters.size(), 2);
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(window.windowState().workbookPath, path);
        QCOMPARE(window.windowState().workbookFolder, m_files.path() + QLatin1Char('/'));
        QCOMPARE(window.panel2()->text(), QStringLiteral("Vorher.xlsx"));
        QCOMPARE(window.panel1()->toolTip(), m_files.path() + QLatin1Char('/'));
        QVERIFY(window.cmdImportTest()->isEnabled());
        QVERIFY(window.cmdImportStarten()->isEnabled());
    }

    void fileChoiceRejected_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::newRow("missing file") << "%T/fehlt/Erhebung.xlsx";
        QTest::newRow("folder") << "%T";
        QTest::newRow("windows path") << "D:\\Nirgends\\Erhebung.xlsx";
    }

    void fileChoiceRejected()
    {
        QFETCH(QString, answer);
        answer.replace(QLatin1String("%T"), m_files.path());
        const QString earlier = m_files.filePath(QStringLiteral("Vorher.xlsx"));
        QVERIFY(touch(earlier));
        ScriptedDialogs dialogs;
        dialogs.fileAnswers = {earlier, answer};
        frmTarvelJagdbezirk window;
        open(window);
        window.cmdDatei_Click();
        window.setImportEnabled(true);

        window.cmdDatei_Click();
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.first().text, QStringLiteral("Gültige Datei auswählen"));
        QCOMPARE(dialogs.messages.first().title, QStringLiteral("Excel Datei suchen"));
        QCOMPARE(dialogs.messages.first().icon, MessageIcon::Exclamation);
        for (QLabel *panel : {window.panel1(), window.panel2()}) {
            QVERIFY(panel->text().isEmpty());
            QVERIFY(panel->toolTip().isEmpty());
        }
        QVERIFY(!window.cmdImportTest()->isEnabled());
        QVERIFY(!window.cmdImportStarten()->isEnabled());
        // The rejected path is kept; the folder is the earlier one.
        QCOMPARE(window.windowState().workbookPath, answer);
        QCOMPARE(window.windowState().workbookFolder, m_files.path() + QLatin1Char('/'));
    }

    void runsDriveTheButtons_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("workbook");
        QTest::newRow("district")
            << "district"
            << "Nr;Lfdnr;Lkr;Revier;Belastung;Aenderung;Jahr\r\n"
               "1;12;a;Hochwald Süd;2;1;2024\r\n2;99999;b;Moosach;1;1;2024\r\n";
        QTest::newRow("cooperative")
            << "cooperative"
            << "Hgnr;Jahr;Lkr;Lkrname;Alf_kurz;Alf_lang;Hgname;Belast;Abschuss\r\n"
               "99901;2024;171;Altötting;TS;Töging;HG Süd;tragbar;beibehalten\r\n";
    }

    // The real runs on a real workbook: a completed check enables the import,
    // a completed import disables it again and leaves its log file in the
    // workbook's folder, which the file dialog gave with "/".
    void runsDriveTheButtons()
    {
        QFETCH(QString, kind);
        QFETCH(QString, workbook);
        QTemporaryDir folder;
        const QString path = folder.filePath(QStringLiteral("Gutachten.csv"));
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        QVERIFY(file.write(workbook.toUtf8()) > 0);
        file.close();

        ErrorReportCapture capture;
        ScriptedDialogs dialogs;
        dialogs.fileAnswers = {path};
        auto window = makeWindow(kind);
        open(*window);
        window->cmdDatei_Click();
        QVERIFY(window->cmdImportTest()->isEnabled());
        QVERIFY(!window->cmdImportStarten()->isEnabled());

        QTest::mouseClick(window->cmdImportTest(), Qt::LeftButton);
        QVERIFY(capture.reports.isEmpty());
        QVERIFY(window->cmdImportStarten()->isEnabled());
        QVERIFY(!window->logText().isEmpty());
        QCOMPARE(window->txt1()->toPlainText(), shownText(window->logText()));

        QTest::mouseClick(window->cmdImportStarten(), Qt::LeftButton);
        QVERIFY(capture.reports.isEmpty());
        QVERIFY(!window->cmdImportStarten()->isEnabled());
        QVERIFY(window->cmdImportTest()->isEnabled());
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.first().icon, MessageIcon::Information);
        QVERIFY2(dialogs.messages.first().text.startsWith(QStringLiteral("Import beendet")),
                 qPrintable(dialogs.messages.first().text));
        const QStringList logs = QDir(folder.path()).entryList({QStringLiteral("ProtokollTarvel*")});
        QCOMPARE(logs.size(), 1);
        QVERIFY(window->logText().startsWith(QStringLiteral("Protokoll für: Forstliches Tarvel\r\n")));
    }

    void closeAndReopenStartsOver()
    {
        const QString path = m_files.filePath(QStringLiteral("Vorher.xlsx"));
        QVERIFY(touch(path));
        ScriptedDialogs dialogs;
        dialogs.fileAnswers = {path};
        frmTarvelJagdbezirk window;
        open(window);
        window.cmdDatei_Click();
        window.setImportEnabled(true);
        window.appendLog(QStringLiteral("Zeile\r\n"));
        window.setProgressMaximum(10);
        window.setProgressValue(5);
        window.setInnerSizeTwips(12000, 6000);

        window.cmdBeenden_Click();
        QVERIFY(!window.isVisible());
        window.setOrbeBase(&m_database->base());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QVERIFY(!window.cmdImportTest()->isEnabled());
        QVERIFY(!window.cmdImportStarten()->isEnabled());
        QVERIFY(window.logText().isEmpty());
        QVERIFY(window.txt1()->toPlainText().isEmpty());
        QCOMPARE(window.progressBar1()->maximum(), 100);
        QCOMPARE(window.progressBar1()->value(), 0);
        QCOMPARE(window.panel1()->text(), m_database->connection()->Description());
        QVERIFY(window.panel2()->text().isEmpty());
        QVERIFY(window.panel2()->toolTip().isEmpty());
        QCOMPARE(window.innerSizeTwips(), QSize(15075, 9225));
        QCOMPARE(window.txt1Twips().height, 7935);
    }

    void logKeepsExactText_data()
    {
        QTest::addColumn<QStringList>("pieces");
        QTest::newRow("lines") << QStringList{"Protokoll für: Forstliches Tarvel\r\n", "Quelle: D:\\Daten\\a.xlsx\r\n"};
        QTest::newRow("line break split") << QStringList{"Lfdnr 12", " gefunden\r", "\nnächste\r\n"};
        QTest::newRow("no line break at end") << QStringList{"Ä\tÖ\tÜ ß"};
    }

    void logKeepsExactText()
    {
        QFETCH(QStringList, pieces);
        frmTarvel window;
        open(window);
        window.appendLog(QStringLiteral("alter Lauf\r\n"));
        window.clearLog();
        QString expected;
        for (const QString &piece : pieces) {
            window.appendLog(piece);
            expected += piece;
        }
        QCOMPARE(window.logText(), expected);
        QCOMPARE(window.txt1()->toPlainText(), shownText(expected));
    }

    void typedTextBecomesLog()
    {
        frmTarvel window;
        open(window);
        window.appendLog(QStringLiteral("eins\r\n"));
        window.txt1()->moveCursor(QTextCursor::End);
        QTest::keyClicks(window.txt1(), QStringLiteral("Notiz"));
        QCOMPARE(window.logText(), QStringLiteral("eins\r\nNotiz"));
        window.appendLog(QStringLiteral("\r\nzwei\r\n"));
        QCOMPARE(window.logText(), QStringLiteral("eins\r\nNotiz\r\nzwei\r\n"));
    }

    void progress_data()
    {
        QTest::addColumn<float>("maximum");
        QTest::addColumn<float>("value");
        QTest::addColumn<int>("shownMaximum");
        QTest::addColumn<int>("shownValue");
        QTest::newRow("fractions round") << 10.6f << 2.4f << 11 << 2;
        // An empty workbook: no busy animation, an empty bar.
        QTest::newRow("zero maximum") << 0.0f << 0.0f << 1 << 0;
        QTest::newRow("beyond int") << 1e12f << 1e12f << INT_MAX << INT_MAX;
        QTest::newRow("value above maximum") << 10.0f << 20.0f << 10 << 10;
    }

    void progress()
    {
        QFETCH(float, maximum);
        QFETCH(float, value);
        QFETCH(int, shownMaximum);
        QFETCH(int, shownValue);
        frmTarvelJagdbezirk window;
        open(window);
        window.setProgressMaximum(maximum);
        window.setProgressValue(value);
        QCOMPARE(window.progressBar1()->minimum(), 0);
        QCOMPARE(window.progressBar1()->maximum(), shownMaximum);
        QCOMPARE(window.progressBar1()->value(), shownValue);
    }

    // A run lets painting through but no input: a click during the run
    // neither starts a second run then nor after it.
    void runHoldsTheWindow()
    {
        ProbeWindow window;
        open(window);
        window.cmdImportTest()->setEnabled(true);
        bool paintedDuringRun = false;
        QString shownDuringRun;
        window.check = [&](ProbeWindow &host) {
            QTest::mouseClick(host.cmdImportTest(), Qt::LeftButton);
            host.cmdImportTest_Click();
            QTest::keyClick(host.txt1(), Qt::Key_A);
            QMetaObject::invokeMethod(&host, [&] { paintedDuringRun = true; }, Qt::QueuedConnection);
            QTest::qSleep(150);
            host.appendLog(QStringLiteral("Zeile\r\n"));
            shownDuringRun = host.txt1()->toPlainText();
        };
        window.cmdImportTest_Click();
        QVERIFY(paintedDuringRun);
        QCOMPARE(shownDuringRun, QStringLiteral("Zeile\n"));
        QCoreApplication::processEvents();
        QCOMPARE(window.checks, 1);
        QCOMPARE(window.logText(), QStringLiteral("Zeile\r\n"));
        QVERIFY(!window.isRunning());

        // Afterwards input reaches the window again.
        QTest::mouseClick(window.cmdImportTest(), Qt::LeftButton);
        QCOMPARE(window.checks, 2);
    }
};

QTEST_MAIN(TestImportWindow)
#include "tst_importwindow.moc"
