#include "startwindow.h"
#include "cooperativewindow.h"
#include "districtwindow.h"
#include "modmain.h"
#include "orbebase.h"
#include "orbeconnection.h"
#include "scripteddialogs.h"
#include "testdatabase.h"

#include <QApplication>
#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

int visibleWindows()
{
    int count = 0;
    for (QWidget *window : QApplication::topLevelWidgets())
        count += window->isVisible() ? 1 : 0;
    return count;
}

} // namespace

class TestStartWindow : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestDatabase> m_database;
    QTemporaryDir m_files;

    // Main on the test database; returns the start window it showed.
    StartWindow *start()
    {
        qputenv("TARVEL_DATABASE", m_database->location().toUtf8());
        ModMain::Main();
        return ModMain::startWindow();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCoreApplication::setOrganizationName(QStringLiteral("Tarvel"));
        QCoreApplication::setApplicationName(QStringLiteral("Tarvel"));
        QApplication::setQuitOnLastWindowClosed(false);
        ModMain::installErrorPresenter();
        ModMain::installProgramIcon();
        m_database = std::make_unique<TestDatabase>(QStringLiteral("sqlite"));
        QVERIFY2(m_database->isAvailable(), qPrintable(m_database->unavailableReason()));
        QVERIFY(m_files.isValid());
    }

    void cleanup()
    {
        ModMain::release();
        qunsetenv("TARVEL_DATABASE");
        QCOMPARE(visibleWindows(), 0);
    }

    void cleanupTestCase() { m_database.reset(); }

    void withoutDatabaseOnlyTheReasonIsShown()
    {
        ScriptedDialogs dialogs;
        qputenv("TARVEL_DATABASE", m_files.filePath(QStringLiteral("fehlt.sqlite")).toUtf8());
        ModMain::Main();
        QVERIFY(ModMain::orbeBase());
        QVERIFY(!ModMain::connection());
        QVERIFY(!ModMain::startWindow());
        QVERIFY(!ModMain::anyWindowOpen());
        // Only the reason, in a message box: started from the menu, nobody sees standard error.
        QCOMPARE(dialogs.messages.size(), 1);
        QCOMPARE(dialogs.messages[0].title, QStringLiteral("Tarvel: keine Datenbankverbindung"));
        QVERIFY(dialogs.messages[0].text.contains(QStringLiteral("fehlt.sqlite gibt es nicht")));
    }

    void startWindowDesign()
    {
        ScriptedDialogs dialogs;
        StartWindow *window = start();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(window->orbeBase(), ModMain::orbeBase());
        QCOMPARE(window->windowTitle(), QStringLiteral("Forstliches Tarvel vom Excel"));
        QVERIFY(!window->windowIcon().pixmap(32).isNull());
        QCOMPARE(window->size(), QSize(506, 88)); // 7590 x 1320 twips

        QCOMPARE(window->cmdHG()->nextInFocusChain(), window->cmdJagdbezirk());
        QCOMPARE(window->cmdJagdbezirk()->nextInFocusChain(), window->cmdBeenden());
        QCOMPARE(window->focusWidget(), window->cmdHG());
    }

    void oneWindowPerKind()
    {
        StartWindow *window = start();
        QVERIFY(window);
        QTest::keyClick(window->cmdJagdbezirk(), Qt::Key_Return);
        DistrictWindow *district = window->districtWindow();
        QVERIFY(district);
        QVERIFY(district->isVisible());
        QVERIFY(!district->parentWidget());

        QTest::mouseClick(window->cmdJagdbezirk(), Qt::LeftButton);
        QCOMPARE(window->districtWindow(), district);
        QTest::mouseClick(window->cmdHG(), Qt::LeftButton);
        QTest::mouseClick(window->cmdHG(), Qt::LeftButton);
        QVERIFY(window->cooperativeWindow());
        QVERIFY(window->cooperativeWindow()->isVisible());
        QVERIFY(district->isVisible());
        QCOMPARE(visibleWindows(), 3);
        QCOMPARE(district->windowState().connection, ModMain::connection());
    }

    // A malformed database setting makes Connect fail: reported once, nothing shown.
    void connectFailingIsReportedWithLine30()
    {
        ScriptedDialogs dialogs;
        qputenv("TARVEL_DATABASE", "postgresql://benutzer@server");
        ModMain::Main();
        QVERIFY(!ModMain::connection());
        QVERIFY(!ModMain::anyWindowOpen());
        QCOMPARE(dialogs.messages.size(), 1);
        const QString text = dialogs.messages.first().text;
        QVERIFY2(text.contains(QStringLiteral("ModMain")) && text.contains(QStringLiteral("Main")), qPrintable(text));
        QVERIFY(text.contains(QStringLiteral("Fehlerzeile: 30")));
        QVERIFY(text.contains(QStringLiteral("Datenbankname fehlt")));
    }

    void clickWithoutDatabaseObjectIsReported_data()
    {
        QTest::addColumn<QString>("procedure");
        QTest::newRow("district") << "cmdJagdbezirk_Click";
        QTest::newRow("cooperative") << "cmdHG_Click";
    }

    // The trap of the click handlers, through the program's presenter.
    void clickWithoutDatabaseObjectIsReported()
    {
        QFETCH(QString, procedure);
        ScriptedDialogs dialogs;
        StartWindow window;
        window.show();
        if (procedure == QLatin1String("cmdHG_Click"))
            QTest::mouseClick(window.cmdHG(), Qt::LeftButton);
        else
            QTest::mouseClick(window.cmdJagdbezirk(), Qt::LeftButton);

        QCOMPARE(dialogs.messages.size(), 1);
        const ScriptedDialogs::Message message = dialogs.messages.first();
        QVERIFY2(message.text.contains(QStringLiteral("frmGutachtenStart")), qPrintable(message.text));
        QVERIFY(message.text.contains(procedure));
        QVERIFY(message.text.contains(QStringLiteral("Fehlernummer: 91")));
        QVERIFY(message.text.contains(QStringLiteral("Fehlerzeile: 20")));
        QCOMPARE(visibleWindows(), 1);
        window.close();
    }

    void beendenDisconnectsAndClosesAll()
    {
        StartWindow *window = start();
        QVERIFY(window);
        window->cmdJagdbezirk_Click();
        window->cmdHG_Click();
        QCOMPARE(visibleWindows(), 3);
        QVERIFY(ModMain::orbeBase()->Connection());

        QTest::mouseClick(window->cmdBeenden(), Qt::LeftButton);
        QCOMPARE(visibleWindows(), 0);
        QVERIFY(!ModMain::orbeBase()->Connection());
        QVERIFY(!window->orbeBase());
    }

    void closingStartWindowLeavesImportWindows()
    {
        StartWindow *window = start();
        QVERIFY(window);
        window->cmdHG_Click();
        QVERIFY(window->close());
        CooperativeWindow *cooperative = window->cooperativeWindow();
        QVERIFY(cooperative->isVisible());
        QVERIFY(ModMain::orbeBase()->Connection());
        QVERIFY(cooperative->windowState().connection);

        cooperative->cmdBeenden_Click();
        QCOMPARE(visibleWindows(), 0);
        QVERIFY(ModMain::orbeBase()->Connection());
    }

    void standardButtonsAreGerman()
    {
        ModMain::installGermanTranslation(*qApp);
        QDialogButtonBox box(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
        QCOMPARE(box.button(QDialogButtonBox::Cancel)->text(), QStringLiteral("Abbrechen"));
    }
};

QTEST_MAIN(TestStartWindow)
#include "tst_startwindow.moc"
