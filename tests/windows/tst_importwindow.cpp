#include "cooperativewindow.h"
#include "districtwindow.h"
#include "errorbox.h"
#include "failure.h"
#include "faultproxy.h"
#include "fittingtext.h"
#include "importlog.h"
#include "logbox.h"
#include "modmain.h"
#include "qtwarnings.h"
#include "runchannel.h"
#include "rundisplay.h"
#include "runfixture.h"
#include "scripteddialogs.h"
#include "testmain.h"
#include "testplatform.h"
#include "undodata.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QDir>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScopeGuard>
#include <QScreen>
#include <QScrollBar>
#include <QSettings>
#include <QStandardPaths>
#include <QDir>
#include <QTest>
#include <QTextEdit>
#include <QTimer>

#include <climits>
#include <memory>

namespace {

const QByteArray DistrictHeadings = "Nr;Lfdnr;Lkr;Revier;Belastung;Aenderung;Jahr\r\n";
const QByteArray CooperativeHeadings = "Hgnr;Jahr;Lkr;Lkrname;Alf_kurz;Alf_lang;Hgname;Belast;Abschuss\r\n";

std::unique_ptr<ImportWindow> makeWindow(const QString &kind)
{
    if (kind == QLatin1String("district"))
        return std::make_unique<DistrictWindow>();
    return std::make_unique<CooperativeWindow>();
}

QString shownText(QString log)
{
    return log.remove(QLatin1Char('\r'));
}

// A drag of one file over the window, dropped when it is accepted.
bool drop(ImportWindow &window, const QString &path)
{
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(path)});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(&window, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    if (enter.isAccepted())
        QApplication::sendEvent(&window, &drop);
    return enter.isAccepted();
}

// The log's last line lies whole inside the box.
bool showsLastLine(QPlainTextEdit *box)
{
    QTextCursor end(box->document());
    end.movePosition(QTextCursor::End);
    const QRect line = box->cursorRect(end);
    return line.top() >= 0 && line.bottom() < box->viewport()->height();
}

// Clicks a run's button and waits for the run's end.
void run(ImportWindow &window, QPushButton *button)
{
    QTest::mouseClick(button, Qt::LeftButton);
    QTRY_VERIFY_WITH_TIMEOUT(!window.isRunning(), 60000);
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

    // A workbook file in the test folder, chosen in the window.
    void choose(ImportWindow &window, ScriptedDialogs &dialogs, const QString &name, const QByteArray &content)
    {
        const QString path = QDir(m_files.path()).filePath(name);
        QVERIFY(QDir().mkpath(QFileInfo(path).absolutePath()) && writeFileBytes(path, content));
        dialogs.fileAnswers = {path};
        window.cmdDatei_Click();
        QCOMPARE(window.windowState().workbookPath, path);
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
        seed(*m_database, "district");
        QVERIFY(m_files.isValid());
        // Relative answers of the file dialog resolve against this folder.
        m_previousDir = QDir::currentPath();
        QVERIFY(QDir::setCurrent(m_files.path()));
    }

    // No remembered window places or folders from the test before.
    void init()
    {
        failOnQtWarnings();
        QSettings().clear();
    }

    void cleanupTestCase()
    {
        QDesktopServices::unsetUrlHandler(QStringLiteral("file"));
        QDir::setCurrent(m_previousDir);
        m_database.reset();
    }

    void designAndLayout_data()
    {
        QTest::addColumn<bool>("district");
        QTest::addColumn<int>("width");
        QTest::addColumn<int>("height");
        QTest::addColumn<int>("txtWidth");
        QTest::addColumn<int>("txtHeight");
        QTest::addColumn<int>("barTop");
        QTest::newRow("district design") << true << 15075 << 9225 << 14955 << 7920 << 8550;
        QTest::newRow("cooperative design") << false << 15075 << 9225 << 14835 << 7860 << 8550;
        // Below 1305 (1365) twips the text box keeps the height of the design
        // layout before it; the progress bar follows that height.
        QTest::newRow("district too low") << true << 15075 << 1200 << 14955 << 7920 << 8550;
        QTest::newRow("district just high enough") << true << 15075 << 1305 << 14955 << 0 << 630;
        QTest::newRow("cooperative too low") << false << 15075 << 1350 << 14835 << 7860 << 8550;
        // Too narrow: the widths keep their values, the heights go on.
        QTest::newRow("district too narrow") << true << 105 << 9225 << 14955 << 7920 << 8550;
    }

    // The layout rule, without widgets. The status bar is 270 twips high, not
    // the designed 255: at 255 the panels cut underscores and descenders.
    void designAndLayout()
    {
        QFETCH(bool, district);
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(int, txtWidth);
        ImportWindowLayout layout(district ? TwipRect{60, 600, 13635, 7815} : TwipRect{120, 660, 14415, 7815}, 270);
        layout.resize(ImportWindowLayout::DesignWidth, ImportWindowLayout::DesignHeight);
        layout.resize(width, height);
        QCOMPARE(layout.txt1.width, txtWidth);
        QTEST(layout.txt1.height, "txtHeight");
        QTEST(layout.progress.top, "barTop");
        QCOMPARE(layout.progress, (TwipRect{120, layout.progress.top, txtWidth, 375}));
        QCOMPARE(layout.panel2Width, 7075); // too narrow: kept
        QCOMPARE(layout.statusBar(), (TwipRect{0, height - 270, width, 270}));
    }

    void loadCloseAndReopen_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("district") << "district";
        QTest::newRow("cooperative") << "cooperative";
    }

    // As loaded: the design size, never beyond the screen, the widgets where
    // the layout puts them. Closed and shown again, size and place are
    // remembered; the log and the buttons start over.
    void loadCloseAndReopen()
    {
        QFETCH(QString, kind);
        ScriptedDialogs dialogs;
        auto window = makeWindow(kind);
        open(*window);
        const QSize available = window->screen()->availableGeometry().size();
        QCOMPARE(window->width(), std::min(1005, available.width())); // 15075 twips at 96 dpi
        QVERIFY(window->height() <= 615 && window->height() < available.height());
        QCOMPARE(window->objectName(), QString(kind == "district" ? "frmTarvelJagdbezirk" : "frmTarvel"));
        QVERIFY(!window->cmdImportTest()->isEnabled() && !window->cmdImportStarten()->isEnabled());
        QVERIFY(!window->txt1()->isReadOnly());
        const QFontMetrics log = window->txt1()->fontMetrics();
        QCOMPARE(log.horizontalAdvance(QLatin1Char('i')), log.horizontalAdvance(QLatin1Char('W')));
        QCOMPARE(window->layoutTwips().statusBarHeight, 270);
        for (QLabel *panel : {static_cast<QLabel *>(window->panel1()), static_cast<QLabel *>(window->panel2())})
            QVERIFY(panel->height() >= panel->sizeHint().height());

        choose(*window, dialogs, "Vorher.csv", DistrictHeadings + "1;12;a;b;1;1;2024\r\n");
        window->setInnerSizeTwips(12000, 6000);
        QCOMPARE(window->txt1()->geometry(), twipsToPixels(window->layoutTwips().txt1, window.get()));
        QCOMPARE(window->progressBar1()->geometry(), twipsToPixels(window->layoutTwips().progress, window.get()));
        QTest::keyClick(window->txt1(), Qt::Key_Escape);
        QVERIFY(!window->isVisible());
        open(*window);
        QVERIFY(!window->cmdImportTest()->isEnabled() && window->logText().isEmpty());
        QCOMPARE(window->panel1()->text(), m_database->connection()->Description());
        QCOMPARE(window->innerSizeTwips(), QSize(12000, 6000));
        QCOMPARE(window->layoutTwips().txt1.height, kind == "district" ? 4695 : 4635);
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

        ScriptedDialogs dialogs;
        CooperativeWindow window;
        open(window);
        choose(window, dialogs, "Vorher.csv", CooperativeHeadings + "99901;2024;171;A;TS;T;HG;1;1\r\n");
        run(window, window.cmdImportTest());
        QVERIFY(window.cmdImportStarten()->isEnabled());
        dialogs.fileAnswers = {answer};
        if (dropped)
            QVERIFY(drop(window, answer));
        else
            window.cmdDatei_Click();

        for (int round = 0; round < 2; ++round) {
            QCOMPARE(dialogs.messages.size(), accepted ? 0 : 1);
            QCOMPARE(window.windowState().workbookPath, answer);
            QCOMPARE(window.windowState().workbookFolder, accepted ? folder : m_files.path() + '/');
            QCOMPARE((QStringList{window.panel1()->text(), window.panel2()->text(), window.panel1()->toolTip()}),
                     (QStringList{QDir::toNativeSeparators(folder), fileName,
                                  accepted ? QDir::toNativeSeparators(answer) : QString()}));
            QCOMPARE(window.cmdImportTest()->isEnabled(), accepted);
            QVERIFY(!window.cmdImportStarten()->isEnabled());
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

    void realRuns_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("workbook");
        QTest::addColumn<QString>("failing"); // the run that fails, and its box's first words
        QTest::newRow("district") << "district" << DistrictHeadings + "1;12;a;Hochwald Süd;2;1;2024\r\n2;99999;b;M;1;1;2024\r\n"
                                  << "";
        QTest::newRow("cooperative") << "cooperative" << CooperativeHeadings + "99901;2024;171;Altötting;TS;T;HG Süd;1;1\r\n"
                                     << "";
        QTest::newRow("district, bad cell") << "district" << DistrictHeadings + "1;12;a;Hochwald;2;1;2024\r\n2;zwölf;b;M;1;1;2024\r\n"
                                            << "Test: Typen unverträglich: Zeile 3, Spalte 2 (Lfdnr) enthält „zwölf“";
        QTest::newRow("district, bad year") << "district" << DistrictHeadings + "1;12;a;Hochwald;2;1;2024\r\n2;12;b;M;1;1;20x4\r\n"
                                            << "Import: Typen unverträglich: Zeile 3, Spalte 7 (Jagdjahr) enthält „20x4“";
    }

    // The real runs beside the window. A completed check enables the import
    // and keeps the focus on "Test"; a completed import disables itself and
    // gives the focus to "Test", so that Enter on its closing message cannot
    // reach "Abbrechen"; a failed one keeps it. A failed run shows the lines before the error, then
    // its error box: the cause, what helps, the log file of an import, and
    // the report's other fields in the details; its bar stands at 0 with the
    // counts so far; "Import Starten" stays as it was before the run.
    void realRuns()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, workbook);
        QFETCH(QString, failing);
        ScriptedDialogs dialogs;
        auto window = makeWindow(kind);
        open(*window);
        QTemporaryDir folder;
        choose(*window, dialogs, folder.filePath("Gutachten.csv"), workbook);
        QString shownAtMessage;
        dialogs.whenShown = [&] { shownAtMessage = window->txt1()->toPlainText(); };
        // The import's log file holds byte for byte what its log box holds.
        const auto logFileIsTheBox = [&] {
            const QStringList files = QDir(folder.path()).entryList({"ProtokollTarvel*.txt"});
            return files.size() == 1 && fileBytes(folder.filePath(files[0])) == window->logText().toUtf8();
        };

        for (const QString run : {"Test", "Import"}) {
            QPushButton *button = run == "Test" ? window->cmdImportTest() : window->cmdImportStarten();
            ::run(*window, button);
            QCOMPARE(window->txt1()->toPlainText(), shownText(window->logText()));
            const bool importLeftOn = run == "Import" && window->cmdImportStarten()->isEnabled();
            QCOMPARE(window->focusWidget(), importLeftOn ? window->cmdImportStarten() : window->cmdImportTest());
            if (failing.startsWith(run)) {
                QCOMPARE(dialogs.messages.size(), 1);
                const ScriptedDialogs::Message box = dialogs.messages.first();
                QVERIFY2(box.text.startsWith(failing.section(": ", 1)) && box.text.contains("Bitte berichtigen Sie")
                             && !box.text.contains("Fehlernummer"), qPrintable(box.text));
                QVERIFY2(box.details.contains(QStringLiteral("Ort: %1\nProzedur: %2\nFehlernummer: 13\n")
                                                  .arg(window->objectName(), run == "Test" ? "cmdImportTest_Click(" : "cmdImportStarten_Click")),
                         qPrintable(box.details));
                QCOMPARE(box.text.contains("Das Protokoll bis zum Fehler steht in der Datei " + folder.path() + "/ProtokollTarvel"),
                         run == "Import");
                QCOMPARE(shownAtMessage, shownText(window->logText()));
                QCOMPARE(window->progressBar1()->value(), 0);
                QVERIFY2(window->progressBar1()->text().startsWith("Gefunden: 1"), qPrintable(window->progressBar1()->text()));
                QCOMPARE(window->cmdImportStarten()->isEnabled(), run == "Import");
                QVERIFY(window->cmdImportTest()->isEnabled() && window->cmdDatei()->isEnabled());
                QVERIFY(run == "Test" || logFileIsTheBox());
                return;
            }
            QCOMPARE(window->cmdImportStarten()->isEnabled(), run == "Test");
        }
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages.first().icon, MessageIcon::Information);
        QVERIFY2(dialogs.messages.first().text.startsWith("Import beendet"), qPrintable(dialogs.messages.first().text));
        QVERIFY(logFileIsTheBox());
        QCOMPARE(QDir(folder.path()).entryList({"ProtokollTarvel*.txt"}).size(), 1);
    }

    // "Import zurücknehmen…", enabled while no run goes, chooses the log file
    // starting in the last workbook's folder. Undo data of another database
    // is asked about first. The preview stands in the log box when "Import
    // vom … zurücknehmen?" is asked; no changes nothing, yes takes the import
    // back and writes the taking back's log file.
    void undoImport()
    {
        ScriptedDialogs dialogs;
        DistrictWindow window;
        open(window);
        QTemporaryDir folder;
        choose(window, dialogs, folder.filePath("Gutachten.csv"), DistrictHeadings + "1;12;a;Hochwald;2;1;2031\r\n");
        const QString before = lines(assessments(*m_database)).join(u'\n');
        run(window, window.cmdImportTest());
        run(window, window.cmdImportStarten());
        const QString imported = lines(assessments(*m_database)).join(u'\n');
        const QString logFile = folder.filePath(QDir(folder.path()).entryList({"ProtokollTarvel*.txt"}).value(0));
        QByteArray undoData = fileBytes(undoDataPath(logFile));
        QVERIFY(window.cmdImportZuruecknehmen()->isEnabled() && imported != before);
        QString shownAtQuestion;
        dialogs.whenShown = [&] {
            if (dialogs.messages.last().title == "?")
                shownAtQuestion = window.txt1()->toPlainText();
        };
        for (const QString answer : {"other database", "no", "yes"}) {
            dialogs.messages.clear();
            dialogs.fileAnswers = {logFile};
            dialogs.confirmAnswer = answer == "yes";
            QVERIFY(writeFileBytes(undoDataPath(logFile), answer == "other database"
                                                              ? QByteArray(undoData).replace("Datenbank: ", "Datenbank: anders ")
                                                              : undoData));
            QTest::mouseClick(window.cmdImportZuruecknehmen(), Qt::LeftButton);
            QTRY_VERIFY_WITH_TIMEOUT(!window.isRunning() && dialogs.messages.size() == (answer == "yes" ? 2 : 1), 60000);
            QCOMPARE(dialogs.fileDialogFolders.last(), folder.path());
            const QString question = dialogs.messages[0].text;
            QCOMPARE(dialogs.messages[0].title, "?");
            if (answer == "other database") {
                QVERIFY2(question.startsWith("Der Import wurde auf einer anderen Datenbank gemacht: anders "), qPrintable(question));
                continue;
            }
            QVERIFY2(question.startsWith("Import vom ") && question.endsWith(" zurücknehmen?"), qPrintable(question));
            QVERIFY2(shownAtQuestion.contains("\n(Zeile 2) wird zurückgenommen: Datensatz "), qPrintable(shownAtQuestion));
        }
        QCOMPARE(lines(assessments(*m_database)).join(u'\n'), before);
        const QStringList undoLogs = QDir(folder.path()).entryList({"RücknahmeTarvel*.txt"});
        QCOMPARE(undoLogs.size(), 1);
        QCOMPARE(fileBytes(folder.filePath(undoLogs[0])), window.logText().toUtf8());
        QVERIFY(dialogs.messages[1].text.startsWith("Import zurückgenommen\r\nProtokolldatei:"));
        QCOMPARE(dialogs.messages[1].furtherButtons, QStringList({"Protokoll öffnen", "Ordner öffnen"}));
        QCOMPARE(window.focusWidget(), window.cmdImportZuruecknehmen());
    }

    void layoutQuestion_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("workbook");
        QTest::addColumn<bool>("answer");
        QTest::addColumn<QString>("question"); // its words after the kind
        const QByteArray cooperative = CooperativeHeadings + "12;2024;171;A;TS;T;HG;1;1\r\n";
        const QByteArray district = DistrictHeadings + "1;12;a;Hochwald;2;1;2024\r\n";
        for (const bool answer : {false, true}) {
            const char *said = answer ? "yes" : "no";
            QTest::addRow("cooperative workbook, district window, %s", said)
                << "district" << cooperative << answer << "Jagdbezirke: Zeile 1 trägt die Spaltennamen einer "
                                                          "Arbeitsmappe für Hegegemeinschaften (Hgnr, Jahr";
            QTest::addRow("district workbook, cooperative window, %s", said)
                << "cooperative" << district << answer << "Hegegemeinschaften: in den Zeilen 2 bis 11 stehen Daten einer "
                                                          "Arbeitsmappe für Jagdbezirke (";
            QTest::addRow("text file, %s", said) << "district" << QByteArray("Einkaufsliste\nBrot\n") << answer
                                                 << "Jagdbezirke: sie hat keine Datenzeile (Zeile 2, Spalte 2 ist leer); "
                                                    "ihre erste Zeile lautet „Einkaufsliste“.";
        }
    }

    // A workbook that does not fit the window's kind is asked about before
    // "Test" and again before "Import Starten", with "No" preselected. No
    // leaves everything as it was; yes runs as asked.
    void layoutQuestion()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, workbook);
        QFETCH(bool, answer);
        QFETCH(QString, question);
        ScriptedDialogs dialogs;
        dialogs.confirmAnswer = answer;
        dialogs.enterOnRealQuestion = !answer; // Enter on the real box answers no
        auto window = makeWindow(kind);
        open(*window);
        choose(*window, dialogs, "Notiz.txt", workbook);
        bool barShownAtQuestion = true; // the run has counted no rows yet
        dialogs.whenShown = [&] { barShownAtQuestion = barShownAtQuestion && window->progressBar1()->isTextVisible(); };
        run(*window, window->cmdImportTest());
        QVERIFY(!barShownAtQuestion);
        QCOMPARE(dialogs.messages.value(0).title, "?");
        QVERIFY2(dialogs.messages[0].text.startsWith("Die Arbeitsmappe hat nicht den Aufbau für " + question)
                     && dialogs.messages[0].text.endsWith("\n\nTrotzdem fortfahren?"),
                 qPrintable(dialogs.messages[0].text));
        QCOMPARE(window->cmdImportStarten()->isEnabled(), answer);
        QCOMPARE(window->progressBar1()->isTextVisible(), answer);
        if (!answer) {
            QCOMPARE(dialogs.messages.size(), 1);
            QCOMPARE(dialogs.realQuestionDefaults, QStringList{"Nein"});
            return;
        }
        run(*window, window->cmdImportStarten());
        QCOMPARE(dialogs.messages.size(), 3);
        QCOMPARE(dialogs.messages[1].text, dialogs.messages[0].text);
        QVERIFY(dialogs.messages[2].text.startsWith("Import beendet"));
    }

    // A run's connection that the server does not take (a proxy holds the
    // start-up back): "Abbrechen" ends the connect at once, and the import
    // ends as cancelled before its first row, with its header and log file,
    // having saved nothing.
    void cancelWhileConnecting()
    {
        TARVEL_OPEN_TEST_DATABASE(server, QStringLiteral("postgresql"));
        // Written here: the test data's path is relative to the drive under Wine, which the test folder changed.
        server.execute("insert into JagdbezirksSammlung values (101, 1, '1001', 'Hofberg')");
        server.execute("insert into Jagdbezirk (Jagdbezirk_ID_PK, Jagdbezirk_Sammlung_ID_FK) values (201, 101)");
        server.execute("insert into JagdbezirkDatenBayern (JagdbezirkDatenBayern_Jagdbezirk_ID_FK, JagdbezirkDatenBayern_Lfdnr, "
                       "JagdbezirkDatenBayern_Jagdjahr) values (201, 12, 2020)");
        FaultProxy proxy(TestDatabase::serverPort());
        std::atomic<bool> connecting = false;
        // The window's own connection passes; the run's second one is held.
        proxy.add(2, "application_name", 1, FaultProxy::Fault::Freeze, [&connecting] { connecting = true; });
        OrbeBase base;
        QVERIFY(base.ConnectTo(server.locationAt(proxy.port())));
        ScriptedDialogs dialogs;
        dialogs.confirmAnswer = true;
        DistrictWindow window;
        window.setOrbeBase(&base);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        choose(window, dialogs, "Verbinden.csv", DistrictHeadings + "1;12;a;Hochwald;2;1;2030\r\n");
        window.cmdImportStarten_Click();
        QTRY_VERIFY_WITH_TIMEOUT(connecting, 20000);
        QElapsedTimer stopping;
        stopping.start();
        QTest::mouseClick(window.cmdBeenden(), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(!window.isRunning(), 20000);
        QVERIFY2(stopping.elapsed() < 2000, qPrintable(QString::number(stopping.elapsed())));
        QVERIFY2(window.logText().startsWith("Protokoll für: Forstliches Tarvel\r\n")
                     && window.logText().endsWith("\r\nImport abgebrochen nach Zeile 1\r\n"),
                 qPrintable(window.logText()));
        QCOMPARE(dialogs.messages.size(), 2);
        QVERIFY(dialogs.messages[1].text.startsWith("Import abgebrochen nach Zeile 1"));
        QCOMPARE(server.connection()->OpenRecordset("select count(*) from ForstlichesGutachtenZurAbschussplanung "
                                                    "where JagdjahrVon = 2030", OpenMode::Lookup)->Fields().Item(0).text(),
                 "0");
    }

    void stopDuringLockWait_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("confirmed");
        QTest::newRow("Abbrechen") << "Abbrechen" << true;
        QTest::newRow("Escape") << "Escape" << true;
        QTest::newRow("closing the window") << "close" << true;
        // The real box, answered with Enter: No.
        QTest::newRow("Abbrechen, Enter on the question") << "Abbrechen" << false;
    }

    // Another program holds the lock that the import's first save waits for,
    // up to a minute. The window stays responsive meanwhile: the log shows
    // what the run logged, the bar its row, the focus is on "Abbrechen", and
    // other input is refused rather than kept for later. "Abbrechen", Escape
    // and closing the window ask "Lauf abbrechen?"; yes ends the wait and the
    // run as a cancel after the row before (closing the window then), no lets
    // the run go on once the lock is free.
    void stopDuringLockWait()
    {
        QFETCH(QString, how);
        QFETCH(bool, confirmed);
        ScriptedDialogs dialogs;
        dialogs.confirmAnswer = confirmed;
        dialogs.enterOnRealQuestion = !confirmed;
        DistrictWindow window;
        open(window);
        choose(window, dialogs, "Sperre.csv", DistrictHeadings + "1;12;a;Hochwald;2;1;2030\r\n2;0;b;Null;1;1;2030\r\n");
        qputenv("TARVEL_LOCK_WAIT_MS", "60000");
        m_database->execute("BEGIN IMMEDIATE");
        bool locked = true;
        const auto unlock = [&] {
            if (std::exchange(locked, false))
                m_database->execute("ROLLBACK");
            qunsetenv("TARVEL_LOCK_WAIT_MS"); // read when the run opens its connection
        };
        const auto unlockAtEnd = qScopeGuard(unlock);
        window.cmdImportStarten_Click();
        QTRY_VERIFY_WITH_TIMEOUT(window.txt1()->toPlainText().contains("JagdbezirkDatenBayern: 12, Hofberg"), 20000);
        QVERIFY(window.isRunning() && window.txt1()->toPlainText().startsWith("Protokoll für: Forstliches Tarvel\n"));
        // Waiting longer than a second, the bar says why it stands, and how long.
        QTRY_VERIFY_WITH_TIMEOUT(window.progressBar1()->text().startsWith(
                                     "Warte auf die Datenbank: ein anderes Programm hält sie gesperrt ("), 5000);
        QVERIFY(window.progressBar1()->text().endsWith(" s) – Abbrechen beendet das Warten"));
        QCOMPARE(window.focusWidget(), window.cmdBeenden());
        QCOMPARE(window.cursor().shape(), Qt::BusyCursor);
        for (QPushButton *button : {window.cmdDatei(), window.cmdImportTest(), window.cmdImportStarten()})
            QVERIFY(!button->isEnabled());
        QVERIFY(window.txt1()->isReadOnly());
        QVERIFY(!drop(window, window.windowState().workbookPath));

        if (how == "Escape")
            QTest::keyClick(window.cmdBeenden(), Qt::Key_Escape);
        else if (how == "close")
            QVERIFY(!window.close());
        else
            QTest::mouseClick(window.cmdBeenden(), Qt::LeftButton);
        QCOMPARE(dialogs.messages.value(0).text, "Lauf abbrechen?");
        QCOMPARE(dialogs.realQuestionDefaults, confirmed ? QStringList() : QStringList{"Nein"});
        if (!confirmed)
            unlock();
        QTRY_VERIFY_WITH_TIMEOUT(!window.isRunning(), 20000);
        unlock();
        QCOMPARE(dialogs.messages.size(), 2);
        const QString end = confirmed ? "Import abgebrochen nach Zeile 1" : "Import beendet";
        QVERIFY2(dialogs.messages[1].text.startsWith(end), qPrintable(dialogs.messages[1].text));
        QCOMPARE(window.logText().endsWith(CRLF + end + CRLF), confirmed);
        QTRY_COMPARE(window.isVisible(), how != "close");
        QCOMPARE(window.cursor().shape(), Qt::ArrowCursor);
    }

    void errorBoxTexts_data()
    {
        QTest::addColumn<long>("number");
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("text");
        const QString waitAndAgain = "Bitte warten Sie, bis das andere Programm fertig ist, und starten Sie den Lauf dann noch einmal.";
        const QString network = "Bitte prüfen Sie das Netz und den Datenbankserver (oder fragen Sie Ihre IT) und starten Sie den Lauf dann "
                                "noch einmal.";
        QTest::newRow("locked, with the statement")
            << ErrorNumber::DatabaseError << ErrorSource::Database
            << "Der Datensatz konnte nicht gespeichert werden (Ein anderes Programm hält die Datenbank gesperrt; Tarvel hat 30 "
               "Sekunden gewartet): database is locked. Unable to fetch row (Anweisung: INSERT INTO t (a) VALUES (?))"
            << "Der Datensatz konnte nicht gespeichert werden (Ein anderes Programm hält die Datenbank gesperrt; Tarvel hat 30 "
               "Sekunden gewartet).\n\n" + waitAndAgain + "\n\n<Protokoll>\n\nMeldung der Datenbank: database is locked. Unable to fetch row";
        QTest::newRow("server's words over lines")
            << ErrorNumber::DatabaseError << ErrorSource::Database
            << "Der Datensatz konnte nicht gespeichert werden (Die Verbindung zur Datenbank ist abgebrochen): FATAL:  terminating "
               "connection due to administrator command\n(57P01). QPSQL: Unable to create query"
            << "Der Datensatz konnte nicht gespeichert werden (Die Verbindung zur Datenbank ist abgebrochen).\n\n" + network
                   + "\n\n<Protokoll>\n\nMeldung der Datenbank: FATAL: terminating connection due to administrator command (57P01)";
        QTest::newRow("no cause known") << ErrorNumber::DatabaseError << ErrorSource::Database
                                        << "Die Datenbank hat die Anweisung abgelehnt: near \"x\": syntax error"
                                        << "Die Datenbank hat die Anweisung abgelehnt.\n\n<Protokoll>\n\nMeldung der Datenbank: "
                                           "near \"x\": syntax error";
        QTest::newRow("lost, not made again")
            << ErrorNumber::NotConnected << ErrorSource::Database
            << "Die Verbindung zur Datenbank ist abgebrochen und lässt sich nicht wieder herstellen: PostgreSQL-Datenbank j auf "
               "s:5432 lässt sich nicht öffnen (Der Datenbankserver antwortet nicht; Tarvel hat 60 Sekunden gewartet): timeout"
            << "Die Verbindung zur Datenbank ist abgebrochen und lässt sich nicht wieder herstellen: PostgreSQL-Datenbank j auf "
               "s:5432 lässt sich nicht öffnen (Der Datenbankserver antwortet nicht; Tarvel hat 60 Sekunden gewartet).\n\n"
                   + network + "\n\n<Protokoll>\n\nMeldung der Datenbank: timeout";
        // The cause's word holds an umlaut.
        QTest::newRow("read-only")
            << ErrorNumber::DatabaseError << ErrorSource::Database
            << "Der Datensatz konnte nicht gespeichert werden (Die Datenbank ist schreibgeschützt; sie nimmt keine Änderungen an): "
               "attempt to write a readonly database"
            << "Der Datensatz konnte nicht gespeichert werden (Die Datenbank ist schreibgeschützt; sie nimmt keine Änderungen "
               "an).\n\nBitte fragen Sie, wer die Datenbank betreut, nach Schreibrechten.\n\n<Protokoll>\n\nMeldung der "
               "Datenbank: attempt to write a readonly database";
        QTest::newRow("cancelled") << ErrorNumber::Cancelled << ErrorSource::Database
                                   << "Abgebrochen, während Tarvel auf die Datenbank wartete."
                                   << "Abgebrochen, während Tarvel auf die Datenbank wartete.\n\n<Protokoll>";
        QTest::newRow("a value of the database") << ErrorNumber::TypeMismatch << ErrorSource::Database
                                                 << "Typen unverträglich: Das Feld „X“ (Wert: 1) ist kein Datum"
                                                 << "Typen unverträglich: Das Feld „X“ (Wert: 1) ist kein Datum.\n\n<Protokoll>";
        QTest::newRow("no workbook") << ErrorNumber::FileNotFound << ErrorSource::Workbook
                                     << "Die Datei „/a: b.xlsx“ wurde nicht gefunden."
                                     << "Die Datei „/a: b.xlsx“ wurde nicht gefunden.\n\nBitte wählen Sie die Arbeitsmappe neu "
                                        "aus; ist sie in einem anderen Programm geöffnet, schließen Sie sie dort.\n\n<Protokoll>";
    }

    // The cause leads, in the report's words; the database's own words follow
    // on their line, the statement only in the details, which are the error
    // log's record.
    void errorBoxTexts()
    {
        QFETCH(long, number);
        QFETCH(QString, source);
        QFETCH(QString, description);
        const ErrorReportEntry entry{"Tarvel", "frmTarvel", "cmdImportStarten_Click", number, source, description, 260};
        const ErrorBoxText box = errorBoxText(entry, "<Protokoll>");
        QTEST(box.text, "text");
        QCOMPARE(box.details, entry.toText());
    }

    // The real error box: behind "Details einblenden" every line of the
    // record shows, also where the description wraps; Enter then is still OK's.
    void errorBoxDetails()
    {
        const QString description = QString("Typen unverträglich: Zeile 30, Spalte 7 (Jagdjahr) enthält „20x4“. ").repeated(6);
        const ErrorReportEntry entry{"Tarvel", "frmTarvel", "cmdImportStarten_Click", 13, ErrorSource::Tarvel, description, 30};
        QString seen;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QPushButton *details = nullptr;
            for (QPushButton *button : box ? box->findChildren<QPushButton *>() : QList<QPushButton *>())
                details = button == box->button(QMessageBox::Ok) ? details : button;
            if (!details) {
                if (box)
                    box->close();
                return;
            }
            QTest::mouseClick(details, Qt::LeftButton);
            auto *edit = box->findChild<QTextEdit *>();
            QTest::qWait(50);
            seen = edit && edit->isVisible() && edit->verticalScrollBar()->maximum() == 0
                           && edit->document()->size().height() <= edit->viewport()->height()
                       ? "alles" : "abgeschnitten";
            QTest::keyClick(details, Qt::Key_Return);
            // A box still open was not closed by Enter.
            QTimer::singleShot(1000, box, [box, &seen] { seen += ", Enter schließt nicht", box->close(); });
        });
        QWidget window;
        showErrorBox(&window, entry);
        QCOMPARE(seen, "alles");
    }

    void logBox_data()
    {
        QTest::addColumn<QStringList>("pieces");
        QTest::addColumn<QString>("typed"); // by the user after the first piece
        QTest::newRow("lines") << QStringList{"Protokoll für: Forstliches Tarvel\r\n", "Quelle: D:\\Daten\\a.xlsx\r\n"} << "";
        QTest::newRow("line break split") << QStringList{"Lfdnr 12", " gefunden\r", "\nnächste\r\n"} << "";
        QTest::newRow("no line break at end") << QStringList{"Ä\tÖ\tÜ ß"} << "";
        QTest::newRow("typed into the box") << QStringList{"eins\r\n", "\r\nzwei\r\n"} << "Notiz";
    }

    // The box keeps the exact log, typed text included, and follows its end
    // unless the user scrolled up.
    void logBox()
    {
        QFETCH(QStringList, pieces);
        QFETCH(QString, typed);
        LogBox box;
        box.resize(300, 100);
        box.show();
        box.appendLog(QStringLiteral("alter Lauf\r\n"));
        box.clearLog();
        QString expected;
        for (const QString &piece : pieces) {
            box.appendLog(piece);
            expected += piece;
            if (piece == pieces.first() && !typed.isEmpty()) {
                box.moveCursor(QTextCursor::End);
                QTest::keyClicks(&box, typed);
                expected += typed;
                QCOMPARE(box.logText(), expected);
            }
        }
        QCOMPARE(box.logText(), expected);
        QCOMPARE(box.toPlainText(), shownText(expected));
        for (int row = 1; row <= 200; ++row)
            box.appendLog(QStringLiteral("Zeile %1\r\n").arg(row));
        QVERIFY(showsLastLine(&box));
        box.verticalScrollBar()->setValue(10);
        box.appendLog(QStringLiteral("noch eine\r\n"));
        QCOMPARE(box.verticalScrollBar()->value(), 10);
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
        QWidget window;
        LogBox log(&window);
        SummaryBar bar(&window);
        RunDisplay display(&window, &log, &bar);
        RunOutput output;
        QFETCH(float, maximum);
        QFETCH(float, value);
        output.progressMaximum = maximum;
        output.progressValue = value;
        display.show(output);
        QCOMPARE(bar.minimum(), 0);
        QTEST(bar.maximum(), "shownMaximum");
        QTEST(bar.value(), "shownValue");
    }

    void importFinished_data()
    {
        QTest::addColumn<int>("button");
        QTest::addColumn<Opener>("opener");
        QTest::addColumn<QString>("opened");
        QTest::addColumn<QString>("complaint"); // when the system has no program for it
        const QString noProgramForFile =
            "Für die Protokolldatei ist auf diesem Rechner kein Programm eingerichtet, das sie öffnet:\n%T/ProtokollTarvel1";
        const QString noProgramForFolder = "Auf diesem Rechner ist kein Programm eingerichtet, das den Ordner öffnet:\n%T";
        QTest::newRow("OK") << 0 << Opener::Takes << "" << "";
        QTest::newRow("Protokoll öffnen") << 1 << Opener::Takes << "%T/ProtokollTarvel1" << "";
        QTest::newRow("Ordner öffnen") << 2 << Opener::Takes << "%T" << "";
        // The opener is there but nothing takes the file: it fails only after it started.
        QTest::newRow("Protokoll öffnen, no program") << 1 << Opener::NoProgram << "" << noProgramForFile;
        QTest::newRow("Ordner öffnen, no program") << 2 << Opener::NoProgram << "" << noProgramForFolder;
        QTest::newRow("Protokoll öffnen, no opener") << 1 << Opener::Missing << "" << noProgramForFile;
    }

    // The import's closing message offers the log file and its folder; where
    // the system opens neither, a message says so.
    void importFinished()
    {
        QFETCH(int, button);
        QFETCH(Opener, opener);
        QFETCH(QString, opened);
        QFETCH(QString, complaint);
        opened.replace(QLatin1String("%T"), m_files.path());
        // The message names the file as the system writes paths.
        complaint = QDir::toNativeSeparators(complaint.replace(QLatin1String("%T"), m_files.path()));
        ScriptedDialogs dialogs;
        dialogs.buttonAnswer = button;
        QWidget window;
        LogBox log(&window);
        SummaryBar bar(&window);
        RunEnding ending;
        ending.messages << RunMessage{"Import beendet", "Tarvel", MessageIcon::Information, m_files.filePath("ProtokollTarvel1")};
        m_opened.clear();
        QTemporaryDir openerFolder;
        // Elsewhere the handler stays: a path it takes is one the system's opener was not asked about.
        if (useOpener(opener, openerFolder.path()) && opener != Opener::Takes)
            QDesktopServices::unsetUrlHandler(QStringLiteral("file")); // offscreen, no program opens anything
        RunDisplay(&window, &log, &bar).end(ending);
        QDesktopServices::setUrlHandler(QStringLiteral("file"), this, "openUrl");
        QCOMPARE(dialogs.messages.first().furtherButtons, QStringList({"Protokoll öffnen", "Ordner öffnen"}));
        const auto taken = [&] {
            QStringList paths = openedPaths(openerFolder.path());
            for (const QUrl &url : std::as_const(m_opened))
                paths << url.toLocalFile();
            return paths.join(u'|');
        };
        QTRY_COMPARE(dialogs.messages.value(1).text + taken(), complaint + opened);
        QTest::qWait(400); // no complaint follows what was opened
        QCOMPARE(dialogs.messages.size(), complaint.isEmpty() ? 1 : 2);
    }

    // An import that made no log file says so once: where the log file
    // itself failed, its own words say it; after another failure a note does.
    void noLogFileSaidOnce_data()
    {
        QTest::addColumn<long>("number");
        QTest::addColumn<QString>("source");
        QTest::addColumn<int>("said");
        QTest::newRow("the log file failed") << ErrorNumber::PathFileAccess << ErrorSource::Tarvel << 1;
        QTest::newRow("the workbook is a folder") << ErrorNumber::PathFileAccess << ErrorSource::Workbook << 2;
    }
    void noLogFileSaidOnce()
    {
        QFETCH(long, number);
        QFETCH(QString, source);
        ScriptedDialogs dialogs;
        QWidget window;
        LogBox log(&window);
        SummaryBar bar(&window);
        RunEnding ending;
        ending.import = true;
        ending.failure = ErrorReportEntry{"Tarvel", "frmTarvel", "cmdImportStarten_Click", number, source,
                                          "Nichts geht; es wurde nichts importiert.\n/a/ProtokollTarvel: nicht erlaubt", 50};
        RunDisplay(&window, &log, &bar).end(ending);
        QTEST(int(dialogs.messages.value(0).text.count("nichts importiert")), "said");
    }

    // A long folder is shortened in the middle, whole in the tool tip; the
    // summary, a note on the headings after it, is shortened to its bar, whole
    // in the bar's tool tip. The window is never narrower than its button row
    // (or the screen, where that is narrower).
    void textsFit()
    {
        ScriptedDialogs dialogs;
        CooperativeWindow window;
        open(window);
        window.setInnerSizeTwips(6000, 6000);
        QCOMPARE(window.width(), std::min(twipsToPixels(ImportWindowLayout::ButtonRowWidth, &window),
                                          window.screen()->availableGeometry().width()));
        QString folder = m_files.path();
        for (int level = 1; level <= 12; ++level)
            folder += QStringLiteral("/Gutachten der Hegegemeinschaft %1").arg(level);
        choose(window, dialogs, folder + "/Mappe.csv",
               QByteArray(CooperativeHeadings).replace("Lkr;", "Landkreis;") + "99901;2024;171;A;TS;T;HG;1;1\r\n;;\r\n3;2024;c;d;e;f;g;1;1\r\n");
        FittingLabel *panel = window.panel1();
        QVERIFY2(panel->text().startsWith(QDir::toNativeSeparators(m_files.path().left(4)))
                     && panel->text().endsWith(QDir::toNativeSeparators("Hegegemeinschaft 12/"))
                     && panel->text().contains(u'…'), qPrintable(panel->text()));
        QVERIFY(panel->fontMetrics().horizontalAdvance(panel->text()) <= panel->contentsRect().width());
        QCOMPARE(panel->toolTip(), QDir::toNativeSeparators(folder + "/Mappe.csv"));
        run(window, window.cmdImportTest());
        QProgressBar *bar = window.progressBar1();
        QVERIFY2(bar->text().startsWith("Gefunden: 0, nicht gefunden: 1 – Nicht gelesen ab Zeile 4") && bar->text().endsWith(u'…'),
                 qPrintable(bar->text()));
        QVERIFY(bar->fontMetrics().horizontalAdvance(bar->text()) < bar->width());
        QCOMPARE(bar->toolTip(), "Gefunden: 0, nicht gefunden: 1\nNicht gelesen ab Zeile 4: Der Lauf endete an der leeren Zelle "
                                 "Zeile 3, Spalte 2 (Jahr).\nDie Spaltennamen in Zeile 1 weichen ab: Spalte 3 lautet „Landkreis“ "
                                 "(erwartet Lkr).");
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
};

TARVEL_TEST_MAIN(TestImportWindow)
#include "tst_importwindow.moc"
