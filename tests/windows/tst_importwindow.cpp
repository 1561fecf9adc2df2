#include "cooperativewindow.h"
#include "districtwindow.h"
#include "modmain.h"
#include "orbeconnection.h"
#include "scripteddialogs.h"
#include "testdatabase.h"
#include "testfiles.h"

#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <climits>
#include <functional>
#include <memory>

namespace {

std::unique_ptr<ImportWindow> makeWindow(const QString &kind)
{
    if (kind == QLatin1String("district"))
        return std::make_unique<DistrictWindow>();
    return std::make_unique<CooperativeWindow>();
}

// A window of the shared frame whose check is supplied by the test, to watch
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

// Chooses a workbook as the file dialog or as a drop on the window does.
void chooseWorkbook(ImportWindow &window, const QString &path, bool dropped)
{
    if (!dropped) {
        window.cmdDatei_Click();
        return;
    }
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QVERIFY(enter.isAccepted());
    QApplication::sendEvent(&window, &drop);
}

// The log's last line lies whole inside the box.
bool showsLastLine(QPlainTextEdit *box)
{
    QTextCursor end(box->document());
    end.movePosition(QTextCursor::End);
    const QRect line = box->cursorRect(end);
    return line.top() >= 0 && line.bottom() < box->viewport()->height();
}

} // namespace

class TestImportWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestDatabase> m_database;
    QTemporaryDir m_files;
    QString m_previousDir;
    QList<QUrl> m_opened;

    // A window loaded with the test database and shown.
    void open(ImportWindow &window)
    {
        window.setOrbeBase(&m_database->base());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
    }

public slots:
    void openUrl(const QUrl &url) { m_opened << url; }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        // Without it Windows keeps no settings (window places, folders).
        QCoreApplication::setOrganizationName(QStringLiteral("Tarvel"));
        ModMain::installErrorPresenter();
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
        m_database = std::make_unique<TestDatabase>(QStringLiteral("sqlite"));
        QVERIFY2(m_database->isAvailable(), qPrintable(m_database->unavailableReason()));
        QVERIFY(m_files.isValid());
        // Relative answers of the file dialog resolve against this folder.
        m_previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_files.path()));
    }

    // No remembered window places or folders from the test before.
    void init() { QSettings().clear(); }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDir::setCurrent(m_previousDir);
        m_database.reset();
    }

    void designAndLayout_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("txtWidth");
        QTest::addColumn<int>("txtHeight");
        QTest::addColumn<int>("barTop");

        // The status bar is 270 twips high, not the designed 255: at 255 the
        // panels cut underscores and descenders.
        QTest::newRow("district design") << "district" << 15075 << 9225 << 14955 << 7920 << 8550;
        QTest::newRow("cooperative design") << "cooperative" << 15075 << 9225 << 14835 << 7860 << 8550;
        // Below 1305 (1365) twips the text box keeps the height of the design
        // layout before it; the progress bar follows that height.
        QTest::newRow("district too low") << "district" << 15075 << 1200 << 14955 << 7920 << 8550;
        QTest::newRow("district just high enough") << "district" << 15075 << 1305 << 14955 << 0 << 630;
        QTest::newRow("cooperative too low") << "cooperative" << 15075 << 1350 << 14835 << 7860 << 8550;
        // Too narrow: the widths keep their values, the heights go on.
        QTest::newRow("district too narrow") << "district" << 105 << 9225 << 14955 << 7920 << 8550;
    }

    void designAndLayout()
    {
        QFETCH(QString, kind);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, txtWidth);
        QFETCH(int, txtHeight);
        QFETCH(int, barTop);
        auto window = makeWindow(kind);
        open(*window);

        // As loaded: the design size, but never beyond the screen.
        const QSize available = window->screen()->availableGeometry().size();
        QCOMPARE(window->width(), std::min(1005, available.width())); // 15075 twips at 96 dpi
        QVERIFY(window->height() <= 615 && window->height() < available.height());
        const bool district = kind == QLatin1String("district");
        QCOMPARE(window->placeName(), QString(district ? "frmTarvelJagdbezirk" : "frmTarvel"));
        QVERIFY(!window->cmdImportTest()->isEnabled());
        QVERIFY(!window->cmdImportStarten()->isEnabled());
        QVERIFY(!window->txt1()->isReadOnly());
        const QFontMetrics log = window->txt1()->fontMetrics();
        QCOMPARE(log.horizontalAdvance(QLatin1Char('i')), log.horizontalAdvance(QLatin1Char('W')));
        // Each panel shows its text whole.
        for (QLabel *panel : {window->panel1(), window->panel2()})
            QVERIFY(panel->height() >= panel->sizeHint().height());

        window->setInnerSizeTwips(ImportWindow::DesignWidth, ImportWindow::DesignHeight);
        window->setInnerSizeTwips(width, height);
        QCOMPARE(window->txt1Twips().width, txtWidth);
        QCOMPARE(window->txt1Twips().height, txtHeight);
        QCOMPARE(window->progressBarTwips(), (TwipRect{120, barTop, txtWidth, 375}));
        QCOMPARE(window->panel2WidthTwips(), 7075); // too narrow: kept
        QCOMPARE(window->statusBarTwips(), (TwipRect{0, height - 270, width, 270}));
        // The widgets follow the model (96 dpi: 15 twips to the pixel).
        QCOMPARE(window->txt1()->geometry(),
                 QRect(window->txt1Twips().left / 15, window->txt1Twips().top / 15,
                       txtWidth / 15, txtHeight / 15));
        QCOMPARE(window->progressBar1()->geometry().top(), barTop / 15);
    }

    void fileChoice_data()
    {
        QTest::addColumn<QString>("answer");     // %T: the temporary folder
        QTest::addColumn<QString>("fileOnDisk"); // empty: the choice is rejected
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("dropped");

        QTest::newRow("dialog path with /") << "%T/Erhebung.xlsx" << "Erhebung.xlsx"
                                            << "%T/" << "Erhebung.xlsx" << false;
        // A Windows path (on Linux a file name holding a backslash).
        QTest::newRow("path with \\") << "Daten\\Erhebung.xlsx" << "Daten\\Erhebung.xlsx"
                                      << "Daten\\" << "Erhebung.xlsx" << false;
        QTest::newRow("last separator wins") << "%T/Unter\\Gutachten 2024.csv"
                                             << "Unter\\Gutachten 2024.csv"
                                             << "%T/Unter\\" << "Gutachten 2024.csv" << false;
        QTest::newRow("no separator") << "Erhebung.xls" << "Erhebung.xls" << "" << "Erhebung.xls" << false;
        QTest::newRow("dropped") << "%T/Text_Muell.csv" << "Text_Muell.csv" << "%T/" << "Text_Muell.csv" << true;
        QTest::newRow("missing file") << "%T/fehlt/Erhebung.xlsx" << "" << "" << "" << false;
        QTest::newRow("folder") << "%T" << "" << "" << "" << false;
        QTest::newRow("windows path") << "D:\\Nirgends\\Erhebung.xlsx" << "" << "" << "" << false;
        QTest::newRow("folder dropped") << "%T" << "" << "" << "" << true;
    }

    // An accepted workbook enables "Test" and, even after a check of another
    // one, disables "Import Starten" until its own check. A rejected one
    // disables both, with a message; its path is kept, the folder is the
    // earlier one. Cancelling the dialog then changes nothing.
    void fileChoice()
    {
        QFETCH(QString, answer);
        QFETCH(QString, fileOnDisk);
        QFETCH(QString, folder);
        QFETCH(QString, fileName);
        QFETCH(bool, dropped);
        answer.replace(QLatin1String("%T"), m_files.path());
        folder.replace(QLatin1String("%T"), m_files.path());
        const bool accepted = !fileOnDisk.isEmpty();
        QVERIFY(!accepted || (QDir().mkpath(QFileInfo(m_files.filePath(fileOnDisk)).path())
                              && writeFileBytes(m_files.filePath(fileOnDisk), "x")));
        const QString earlier = m_files.filePath(QStringLiteral("Vorher.xlsx"));
        QVERIFY(writeFileBytes(earlier, "x"));

        ScriptedDialogs dialogs;
        dialogs.fileAnswers = {earlier, answer};
        CooperativeWindow window;
        open(window);
        window.cmdDatei_Click();
        window.setImportEnabled(true);
        chooseWorkbook(window, answer, dropped);

        for (int round = 0; round < 2; ++round) {
            QCOMPARE(dialogs.messages.size(), accepted ? 0 : 1);
            QCOMPARE(window.windowState().workbookPath, answer);
            QCOMPARE(window.windowState().workbookFolder, accepted ? folder : m_files.path() + '/');
            QCOMPARE((QStringList{window.panel1()->text(), window.panel1()->toolTip(), window.panel2()->text(),
                                  window.panel2()->toolTip()}),
                     (QStringList{folder, folder, fileName, fileName}));
            QCOMPARE(window.cmdImportTest()->isEnabled(), accepted);
            QCOMPARE(window.cmdImportStarten()->isEnabled(), round == 1);
            window.setImportEnabled(true);
            dialogs.fileAnswers = {QString()};
            window.cmdDatei_Click();
        }
        QCOMPARE(dialogs.fileDialogFolders.last(), accepted ? QFileInfo(answer).absolutePath() : m_files.path());
        QCOMPARE(dialogs.fileDialogFilters.last(),
                 QStringList({"Excel (*.xlsx)", "Excel Files (*.xls *.csv)", "All Files (*)",
                              "Alle Tabellen (*.xlsx *.xlsm *.xls *.ods *.csv)"}));
        if (!accepted)
            QCOMPARE(dialogs.messages.first().text + u'|' + dialogs.messages.first().title
                         + (dialogs.messages.first().icon == MessageIcon::Exclamation ? "|!" : "|i"),
                     "Gültige Datei auswählen|Excel Datei suchen|!");
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
        // The error box shows above the lines logged before the error.
        QTest::newRow("district, bad cell")
            << "district"
            << "Nr;Lfdnr;Lkr;Revier;Belastung;Aenderung;Jahr\r\n"
               "1;12;a;Hochwald;2;1;2024\r\n2;zwölf;b;Moosach;1;1;2024\r\n";
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
        QVERIFY(writeFileBytes(path, workbook.toUtf8()));

        ScriptedDialogs dialogs;
        dialogs.fileAnswers = {path};
        auto window = makeWindow(kind);
        open(*window);
        window->cmdDatei_Click();
        QString shownAtMessage;
        dialogs.whenShown = [&] { shownAtMessage = window->txt1()->toPlainText(); };

        QTest::mouseClick(window->cmdImportTest(), Qt::LeftButton);
        QCOMPARE(window->txt1()->toPlainText(), shownText(window->logText()));
        if (workbook.contains(QStringLiteral("zwölf"))) {
            QCOMPARE(dialogs.messages.size(), 1);
            QVERIFY(dialogs.messages.first().text.contains(QStringLiteral("Fehlernummer: 13")));
            QVERIFY(window->logText().contains(QStringLiteral("Hochwald")));
            QCOMPARE(shownAtMessage, shownText(window->logText()));
            QVERIFY(!window->cmdImportStarten()->isEnabled());
            return;
        }
        QVERIFY(dialogs.messages.isEmpty());
        QVERIFY(window->cmdImportStarten()->isEnabled());

        QTest::mouseClick(window->cmdImportStarten(), Qt::LeftButton);
        QVERIFY(!window->cmdImportStarten()->isEnabled());
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.first().icon, MessageIcon::Information);
        QVERIFY2(dialogs.messages.first().text.startsWith(QStringLiteral("Import beendet")),
                 qPrintable(dialogs.messages.first().text));
        QCOMPARE(QDir(folder.path()).entryList({QStringLiteral("ProtokollTarvel*")}).size(), 1);
    }

    // Size and place are remembered; the log and the buttons start over.
    void closeAndReopen()
    {
        const QString path = m_files.filePath(QStringLiteral("Vorher.xlsx"));
        QVERIFY(writeFileBytes(path, "x"));
        ScriptedDialogs dialogs;
        dialogs.fileAnswers = {path};
        DistrictWindow window;
        open(window);
        window.cmdDatei_Click();
        window.setImportEnabled(true);
        window.appendLog(QStringLiteral("Zeile\r\n"));
        window.setInnerSizeTwips(12000, 6000);

        QTest::keyClick(window.txt1(), Qt::Key_Escape);
        QVERIFY(!window.isVisible());
        window.setOrbeBase(&m_database->base());
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));

        QVERIFY(!window.cmdImportTest()->isEnabled());
        QVERIFY(!window.cmdImportStarten()->isEnabled());
        QVERIFY(window.logText().isEmpty());
        QCOMPARE(window.panel1()->text(), m_database->connection()->Description());
        QCOMPARE(window.innerSizeTwips(), QSize(12000, 6000));
        QCOMPARE(window.txt1Twips().height, 4695);
    }

    // Tab moves through the designed order, Enter presses the focused button.
    void keyboard()
    {
        ScriptedDialogs dialogs;
        DistrictWindow window;
        open(window);
        window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&window));
        QCOMPARE(QApplication::focusWidget(), window.txt1());
        QTest::keyClick(window.txt1(), Qt::Key_Tab);
        QVERIFY(window.txt1()->toPlainText().isEmpty());
        QCOMPARE(QApplication::focusWidget(), window.cmdDatei());
        QTest::keyClick(window.cmdDatei(), Qt::Key_Return);
        QCOMPARE(dialogs.fileDialogFilters.size(), 1);
        QTest::keyClick(window.cmdDatei(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), window.cmdBeenden());
        QTest::keyClick(window.cmdBeenden(), Qt::Key_Enter);
        QVERIFY(!window.isVisible());
    }

    void logKeepsExactText_data()
    {
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QString>("typed"); // by the user after the first piece
        QTest::newRow("lines") << QStringList{"Protokoll für: Forstliches Tarvel\r\n", "Quelle: D:\\Daten\\a.xlsx\r\n"} << "";
        QTest::newRow("line break split") << QStringList{"Lfdnr 12", " gefunden\r", "\nnächste\r\n"} << "";
        QTest::newRow("no line break at end") << QStringList{"Ä\tÖ\tÜ ß"} << "";
        QTest::newRow("typed into the box") << QStringList{"eins\r\n", "\r\nzwei\r\n"} << "Notiz";
    }

    void logKeepsExactText()
    {
        QFETCH(QStringList, pieces);
        QFETCH(QString, typed);
        CooperativeWindow window;
        open(window);
        window.appendLog(QStringLiteral("alter Lauf\r\n"));
        window.clearLog();
        QString expected;
        for (const QString &piece : pieces) {
            window.appendLog(piece);
            expected += piece;
            if (piece == pieces.first() && !typed.isEmpty()) {
                window.txt1()->moveCursor(QTextCursor::End);
                QTest::keyClicks(window.txt1(), typed);
                expected += typed;
                QCOMPARE(window.logText(), expected);
            }
        }
        QCOMPARE(window.logText(), expected);
        QCOMPARE(window.txt1()->toPlainText(), shownText(expected));
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
        DistrictWindow window;
        open(window);
        window.setProgressMaximum(maximum);
        window.setProgressValue(value);
        QCOMPARE(window.progressBar1()->minimum(), 0);
        QCOMPARE(window.progressBar1()->maximum(), shownMaximum);
        QCOMPARE(window.progressBar1()->value(), shownValue);
    }

    void cancelDuringRun_data()
    {
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("confirmed") << true;
        QTest::newRow("declined") << false;
    }

    // A run lets painting through but no input but "Abbrechen": a click
    // during the run neither starts a second run then nor after it. The bar
    // counts rows, the cursor shows the program busy, the run buttons are
    // disabled, and the log follows its end.
    void cancelDuringRun()
    {
        QFETCH(bool, confirmed);
        ScriptedDialogs dialogs;
        dialogs.confirmAnswer = confirmed;
        dialogs.fileAnswers = {m_files.filePath(QStringLiteral("Lauf.xlsx"))};
        QVERIFY(writeFileBytes(dialogs.fileAnswers.first(), "x"));
        ProbeWindow window;
        open(window);
        window.cmdDatei_Click();
        bool paintedDuringRun = false;
        QString shownAtMessage;
        dialogs.whenShown = [&] { shownAtMessage = window.txt1()->toPlainText(); };
        window.check = [&](ProbeWindow &host) {
            host.setProgressMaximum(400);
            QTest::mouseClick(host.cmdImportTest(), Qt::LeftButton);
            host.cmdImportTest_Click();
            QTest::keyClick(host.txt1(), Qt::Key_A);
            QTest::keyClick(host.txt1(), Qt::Key_Escape);
            QMetaObject::invokeMethod(&host, [&] { paintedDuringRun = true; }, Qt::QueuedConnection);
            QTest::qSleep(110);
            for (int row = 2; row <= 400 && !host.cancelRequested(); ++row) {
                host.setProgressValue(float(row));
                host.appendLog(QStringLiteral("Zeile %1\r\n").arg(row));
                if (row == 300) {
                    QCOMPARE(host.progressBar1()->text(), QStringLiteral("Zeile 300 von 400"));
                    QCOMPARE(QApplication::overrideCursor()->shape(), Qt::BusyCursor);
                    for (QPushButton *button : {host.cmdDatei(), host.cmdImportTest(), host.cmdImportStarten()})
                        QVERIFY(!button->isEnabled());
                    QTest::mouseClick(host.cmdBeenden(), Qt::LeftButton);
                    host.showMessage(QStringLiteral("Hinweis"), QStringLiteral("Tarvel"), MessageIcon::Information);
                }
            }
            RunSummary summary;
            summary.found = 7;
            summary.firstUnreadRow = 10002;
            summary.unreadReason = QStringLiteral("mehr als 10.000 Zeilen");
            host.showSummary(summary);
        };
        window.cmdImportTest_Click();
        QVERIFY(paintedDuringRun);
        QCOMPARE(dialogs.messages.first().text, QStringLiteral("Lauf abbrechen?"));
        QCOMPARE(window.cancelRequested(), confirmed);
        QCOMPARE(window.logText().count(QLatin1Char('\n')), confirmed ? 299 : 399);
        // The lines before a message are in the box when it opens, and the
        // box shows the log's last line when the run has ended.
        QVERIFY(shownAtMessage.endsWith(QStringLiteral("Zeile 299\nZeile 300\n")));
        QCOMPARE(window.txt1()->toPlainText(), shownText(window.logText()));
        QVERIFY(showsLastLine(window.txt1()));
        QVERIFY(window.progressBar1()->text().contains(QStringLiteral("Nicht gelesen ab Zeile 10002")));
        QVERIFY(window.progressBar1()->toolTip().contains(QStringLiteral("Gefunden: 7")));
        QVERIFY(!QApplication::overrideCursor());
        QVERIFY(window.isVisible());

        // Afterwards input reaches the window again.
        QCOMPARE(window.checks, 1);
        QTest::mouseClick(window.cmdImportTest(), Qt::LeftButton);
        QCOMPARE(window.checks, 2);
    }

    // A user who scrolled up keeps the place; a run's end shows the end.
    void logFollowsItsEnd()
    {
        ProbeWindow window;
        open(window);
        for (int row = 1; row <= 200; ++row)
            window.appendLog(QStringLiteral("Zeile %1\r\n").arg(row));
        QVERIFY(showsLastLine(window.txt1()));
        window.txt1()->verticalScrollBar()->setValue(10);
        window.appendLog(QStringLiteral("noch eine\r\n"));
        QCOMPARE(window.txt1()->verticalScrollBar()->value(), 10);
        window.cmdImportTest_Click();
        QVERIFY(showsLastLine(window.txt1()));
    }

    void importFinishedOffersLogAndFolder_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<QString>("opened");
        QTest::newRow("OK") << 0 << "";
        QTest::newRow("Protokoll öffnen") << 1 << "%T/ProtokollTarvel1";
        QTest::newRow("Ordner öffnen") << 2 << "%T";
    }

    void importFinishedOffersLogAndFolder()
    {
        QFETCH(int, button);
        QFETCH(QString, opened);
        opened.replace(QLatin1String("%T"), m_files.path());
        ScriptedDialogs dialogs;
        dialogs.buttonAnswer = button;
        CooperativeWindow window;
        open(window);
        m_opened.clear();
        window.showImportFinished(QStringLiteral("Import beendet"), m_files.filePath("ProtokollTarvel1"));
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.first().furtherButtons,
                 QStringList({"Protokoll öffnen", "Ordner öffnen"}));
        QCOMPARE(m_opened, opened.isEmpty() ? QList<QUrl>() : QList{QUrl::fromLocalFile(opened)});
    }
};

QTEST_MAIN(TestImportWindow)
#include "tst_importwindow.moc"
