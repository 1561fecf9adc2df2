#include "modmain.h"

#include "databaseaccess.h"
#include "databasedialog.h"
#include "databasesetting.h"
#include "errorbox.h"
#include "failuretrap.h"
#include "orbebase.h"
#include "orbeerrorreport.h"
#include "startwindow.h"
#include "userdialogs.h"

#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include <algorithm>

namespace {
std::unique_ptr<OrbeBase> g_base;
std::unique_ptr<StartWindow> g_startWindow;

// The status of a start without a window, as tarvel-batch's without a database.
constexpr int NoDatabaseStatus = 3;

// What to check, for the kind of database the settings name, and which names it.
QString noDatabaseHint(const DatabaseChoice &choice)
{
    const std::optional<DatabaseLocation> location = OrbeBase::parseLocation(choice.location);
    QString hint;
    // A location that cannot be read is not quoted: it may hold a password.
    if (!location) {
        hint = QStringLiteral("Bitte berichtigen Sie die Angabe oder wählen Sie eine andere Datenbank.");
    } else if (location->kind == DatabaseLocation::Kind::SQLite) {
        hint = QStringLiteral("Bitte prüfen Sie, ob es die Datei %1 gibt und ob Sie sie und ihren Ordner lesen und "
                              "beschreiben dürfen.").arg(QDir::toNativeSeparators(QFileInfo(location->path).absoluteFilePath()));
    } else if (location->kind == DatabaseLocation::Kind::ODBC) {
        hint = QStringLiteral("Bitte prüfen Sie die ODBC-Verbindung (%1): die Datenquelle und ihren Treiber in den "
                              "ODBC-Einstellungen des Rechners, den Server, den Benutzer und sein Passwort dort.")
                   .arg(location->description());
    } else {
        const QString user = location->user.isEmpty() ? QStringLiteral("Ihr Anmeldename") : location->user;
        hint = QStringLiteral("Bitte prüfen Sie die Adresse des Servers (%1), den Benutzer (%2) und sein Passwort in "
                              "der Passwortdatei (~/.pgpass oder PGPASSFILE) bzw. den Dienst in ~/.pg_service.conf.")
                   .arg(location->description(), user);
    }
    if (choice.source == LocationSource::Default)
        return hint + QStringLiteral(" Es ist die eingebaute Datenbank; keine Einstellung nennt eine andere.");
    return hint + u' ' + choice.sourceText() + QStringLiteral(" nennt diese Datenbank.");
}

// The no-database box; true when the user took another database in
// "Datenbank wählen" (stored as the user's setting), to be opened now.
bool tookOtherDatabase(const QString &failure)
{
    const DatabaseChoice choice = DatabaseSetting::choose();
    // A refused setting needs no check of files or servers.
    const QString refused = choice.refusal();
    const QString text = refused.isEmpty() ? tidyDriverText(failure) + QStringLiteral("\n\n") + noDatabaseHint(choice) : refused;
    const QStringList other = choice.changeable() ? QStringList{QStringLiteral("Andere Datenbank wählen…")} : QStringList{};
    if (UserDialogs::current().showMessage(nullptr, text, QStringLiteral("Tarvel: keine Datenbankverbindung"),
                                           MessageIcon::Exclamation, other, QStringLiteral("Beenden"))
        != 1)
        return false;
    DatabaseDialog dialog(nullptr);
    return dialog.exec() == QDialog::Accepted;
}
} // namespace

namespace ModMain {

void Main()
{
    runTrapped(QStringLiteral("ModMain"), QStringLiteral("Main"), [](ErrorLine &at) {
        at(20);
        g_base = std::make_unique<OrbeBase>();
        at(30);
        // Started from the menu, nobody sees standard error: a box says why.
        QString failure;
        while (!DatabaseAccess::connectChosen(*g_base, nullptr, &failure)) {
            at(40);
            if (!tookOtherDatabase(failure))
                return;
            at(30);
        }
        at(80);
        if (!g_startWindow)
            g_startWindow = std::make_unique<StartWindow>();
        g_startWindow->setOrbeBase(g_base.get());
        at(90);
        g_startWindow->show();
    });
}

int runProgram()
{
    Main();
    return anyWindowOpen() ? QApplication::exec() : NoDatabaseStatus;
}

OrbeBase *orbeBase()
{
    return g_base.get();
}

std::shared_ptr<OrbeConnection> connection()
{
    return g_base ? g_base->Connection() : nullptr;
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
    // Desktops match the windows to the menu entry by its name (and by
    // StartupWMClass, the application's name, where the window system has
    // no such name).
    QGuiApplication::setDesktopFileName(QStringLiteral("de.tarvel.Tarvel"));
}

void installErrorPresenter()
{
    OrbeErrorReport::global().setPresenter(presentErrorReport);
}

} // namespace ModMain
