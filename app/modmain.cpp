#include "modmain.h"

#include "failuretrap.h"
#include "importwindow.h"
#include "orbebase.h"
#include "orbeerrorreport.h"
#include "startwindow.h"
#include "userdialogs.h"

#include <QApplication>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include <algorithm>

namespace {
std::unique_ptr<OrbeBase> g_base;
std::shared_ptr<OrbeConnection> g_connection;
std::unique_ptr<StartWindow> g_startWindow;
} // namespace

namespace ModMain {

void Main()
{
    runTrapped(QStringLiteral("ModMain"), QStringLiteral("Main"), [](ErrorLine &at) {
        at(20);
        g_base = std::make_unique<OrbeBase>();
        at(30);
        g_base->Connect(0);
        at(40);
        g_connection = g_base->Connection();
        if (!g_connection) {
            // Started from the menu, nobody sees standard error.
            UserDialogs::current().showMessage(
                nullptr,
                g_base->connectFailure() + QStringLiteral("\n\nBitte prüfen Sie die Einstellung TARVEL_DATABASE, "
                                                          "den Datenbankserver und die Zugangsdaten."),
                QStringLiteral("Tarvel: keine Datenbankverbindung"), MessageIcon::Exclamation);
            return;
        }
        at(80);
        if (!g_startWindow)
            g_startWindow = std::make_unique<StartWindow>();
        g_startWindow->setOrbeBase(g_base.get());
        at(90);
        g_startWindow->show();
    });
}

OrbeBase *orbeBase()
{
    return g_base.get();
}

std::shared_ptr<OrbeConnection> connection()
{
    return g_connection;
}

StartWindow *startWindow()
{
    return g_startWindow.get();
}

bool anyWindowOpen()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    return std::any_of(windows.begin(), windows.end(),
                       [](const QWidget *window) { return window->isVisible(); });
}

void release()
{
    g_startWindow.reset();
    g_connection.reset();
    g_base.reset();
}

void installGermanTranslation(QApplication &application)
{
    auto *translator = new QTranslator(&application);
    if (translator->load(QStringLiteral("qtbase_de"),
                         QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

void installProgramIcon()
{
    QApplication::setWindowIcon(QIcon(QStringLiteral(TARVEL_PROGRAM_ICON)));
}

void installErrorPresenter()
{
    OrbeErrorReport::global().setPresenter([](const ErrorReportEntry &entry) {
        // The lines logged before the error belong above it.
        ImportWindow::showPendingOutputOfAll();
        const QString title = entry.application.isEmpty() ? QStringLiteral("Tarvel")
                                                          : entry.application;
        UserDialogs::current().showMessage(QApplication::activeWindow(), entry.messageText(),
                                           title, MessageIcon::Exclamation);
    });
}

} // namespace ModMain
