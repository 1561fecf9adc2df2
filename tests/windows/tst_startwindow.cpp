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

    // A database that cannot be used shows no window, only the reason in a
    // message box (started from the menu, nobody sees standard error); a
    // malformed setting makes Connect fail, reported with its line.
    void withoutDatabaseOnlyTheReasonIsShown_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<QString>("title"); // empty: not checked
        QTest::addColumn<QStringList>("texts");
        QTest::newRow("missing file") << m_files.filePath(QStringLiteral("fehlt.sqlite"))
                                      << "Tarvel: keine Datenbankverbindung" << QStringList{"fehlt.sqlite gibt es nicht"};
        QTest::newRow("malformed") << "postgresql://benutzer@server" << ""
                                   << QStringList{"ModMain", "Main", "Fehlerzeile: 30", "Datenbankname fehlt"};
    }
    void withoutDatabaseOnlyTheReasonIsShown()
    {
        QFETCH(QString, setting);
        QFETCH(QString, title);
        QFETCH(QStringList, texts);
        ScriptedDialogs dialogs;
        qputenv("TARVEL_DATABASE", setting.toUtf8());
        ModMain::Main();
        QVERIFY(ModMain::orbeBase());
        QVERIFY(!ModMain::connection());
        QVERIFY(!ModMain::startWindow());
        QVERIFY(!ModMain::anyWindowOpen());
        QCOMPARE(dialogs.messages.size(), 1);
        QVERIFY(title.isEmpty() || dialogs.messages[0].title == title);
        for (const QString &text : texts)
            QVERIFY2(dialogs.messages[0].text.contains(text), qPrintable(dialogs.messages[0].text));
    }

    // One window of each kind, shown again on a second click; the start
    // window has the program's icon and the designed tab order.
    void oneWindowPerKind()
    {
        ScriptedDialogs dialogs;
        StartWindow *window = start();
        QVERIFY(window);
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(dialogs.messages.isEmpty());
        QCOMPARE(window->orbeBase(), ModMain::orbeBase());
        QVERIFY(!window->windowIcon().pixmap(32).isNull());
        QCOMPARE(window->cmdHG()->nextInFocusChain(), window->cmdJagdbezirk());
        QCOMPARE(window->cmdJagdbezirk()->nextInFocusChain(), window->cmdBeenden());
        QCOMPARE(window->focusWidget(), window->cmdHG());

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

        // "Beenden" closes them all and disconnects.
        QTest::mouseClick(window->cmdBeenden(), Qt::LeftButton);
        QCOMPARE(visibleWindows(), 0);
        QVERIFY(!ModMain::orbeBase()->Connection());
        QVERIFY(!window->orbeBase());
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
        QTest::mouseClick(procedure == "cmdHG_Click" ? window.cmdHG() : window.cmdJagdbezirk(), Qt::LeftButton);

        QCOMPARE(dialogs.messages.size(), 1);
        const QString text = dialogs.messages.first().text;
        QVERIFY2(text.contains("frmGutachtenStart") && text.contains(procedure) && text.contains("Fehlernummer: 91")
                     && text.contains("Fehlerzeile: 20"), qPrintable(text));
        QCOMPARE(visibleWindows(), 1);
        window.close();
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
