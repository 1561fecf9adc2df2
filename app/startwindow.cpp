#include "startwindow.h"

#include "databaseaccess.h"
#include "databasedialog.h"
#include "errorbox.h"
#include "failure.h"
#include "failuretrap.h"
#include "fittingtext.h"
#include "orbeconnection.h"
#include "userdialogs.h"
#include "cooperativewindow.h"
#include "districtwindow.h"
#include "importwindow.h"
#include "runsession.h"
#include "orbebase.h"
#include "twips.h"
#include "windowmemory.h"

#include "userdialogs.h"

#include <QApplication>
#include <QEventLoop>
#include <QHideEvent>
#include <QPushButton>
#include <QThread>

namespace {

constexpr int ButtonTop = 480;
constexpr int ButtonWidth = 2175;
constexpr int ButtonHeight = 315;
// The database's row, below the buttons: its name as wide as the first two
// buttons, "Datenbank…" under "Beenden".
constexpr int DatabaseTop = 1035;
constexpr TwipRect DatabaseLabel{360, DatabaseTop, 4455, ButtonHeight};
constexpr int DatabaseButtonLeft = 4920;

// Opens an import window: hands the database object over (the window fetches
// its connection anew) and shows it. A window that is open already is shown
// again as it is.
template <typename Window>
void openImportWindow(std::unique_ptr<Window> &window, OrbeBase *base, ErrorLine &at)
{
    at(20);
    if (!window)
        window = std::make_unique<Window>();
    window->setOrbeBase(base);
    at(30);
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace

StartWindow::StartWindow()
    : QWidget(nullptr, Qt::Window | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint
                           | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint)
{
    setObjectName(QStringLiteral("frmGutachtenStart"));
    setWindowTitle(QStringLiteral("Forstliches Tarvel vom Excel"));
    useDesignFont(this);
    setFixedSize(twipsToPixels(DesignWidth, this), twipsToPixels(DesignHeight, this));

    auto makeButton = [this](const QString &name, const QString &text, int left) {
        auto *button = new QPushButton(text, this);
        button->setObjectName(name);
        // Enter presses the focused button, as Space does.
        button->setAutoDefault(true);
        placeInTwips(button, TwipRect{left, ButtonTop, ButtonWidth, ButtonHeight});
        return button;
    };
    // Made first, the label stands outside the buttons' tab order.
    m_lblDatenbank = new FittingLabel(this);
    m_lblDatenbank->setObjectName(QStringLiteral("lblDatenbank"));
    placeInTwips(m_lblDatenbank, DatabaseLabel);
    m_cmdHG = makeButton(QStringLiteral("cmdHG"), QStringLiteral("Import Hegegemeinschaft"), 360);
    m_cmdJagdbezirk = makeButton(QStringLiteral("cmdJagdbezirk"),
                                 QStringLiteral("Import Jagdbezirk"), 2640);
    m_cmdBeenden = makeButton(QStringLiteral("cmdBeenden"), QStringLiteral("Beenden"), 4920);
    m_cmdDatenbank = makeButton(QStringLiteral("cmdDatenbank"), QStringLiteral("Datenbank…"), DatabaseButtonLeft);
    placeInTwips(m_cmdDatenbank, TwipRect{DatabaseButtonLeft, DatabaseTop, ButtonWidth, ButtonHeight});
    setTabOrder(m_cmdHG, m_cmdJagdbezirk);
    setTabOrder(m_cmdJagdbezirk, m_cmdBeenden);
    setTabOrder(m_cmdBeenden, m_cmdDatenbank);
    m_cmdHG->setFocus();
    restoreWindowPlace(this, size());

    connect(m_cmdHG, &QPushButton::clicked, this, &StartWindow::cmdHG_Click);
    connect(m_cmdJagdbezirk, &QPushButton::clicked, this, &StartWindow::cmdJagdbezirk_Click);
    connect(m_cmdBeenden, &QPushButton::clicked, this, &StartWindow::cmdBeenden_Click);
    connect(m_cmdDatenbank, &QPushButton::clicked, this, &StartWindow::cmdDatenbank_Click);
}

StartWindow::~StartWindow() = default;

void StartWindow::hideEvent(QHideEvent *event)
{
    // "Beenden" hides every window without closing it.
    if (!event->spontaneous())
        rememberWindowPlace(this);
    QWidget::hideEvent(event);
}

void StartWindow::setOrbeBase(OrbeBase *base)
{
    if (!base)
        throw objectNotSet();
    m_base = base;
    m_connection = base->Connection();
    showDatabase();
}

void StartWindow::showDatabase()
{
    const QString text = QStringLiteral("Datenbank: ") + (m_connection ? m_connection->Description() : QString());
    m_lblDatenbank->setFullText(text, text);
}

void StartWindow::cmdJagdbezirk_Click()
{
    runTrapped(objectName(), QStringLiteral("cmdJagdbezirk_Click"),
               [this](ErrorLine &at) { openImportWindow(m_district, m_base, at); });
}

void StartWindow::cmdHG_Click()
{
    runTrapped(objectName(), QStringLiteral("cmdHG_Click"),
               [this](ErrorLine &at) { openImportWindow(m_cooperative, m_base, at); });
}

void StartWindow::cmdDatenbank_Click()
{
    runTrapped(objectName(), QStringLiteral("cmdDatenbank_Click"), [this](ErrorLine &at) {
        at(20);
        if (!m_base)
            throw objectNotSet();
        DatabaseDialog dialog(this);
        if (dialog.exec() != QDialog::Accepted)
            return;
        at(30);
        switchDatabase(dialog.takenLocation());
    });
}

void StartWindow::switchDatabase(const DatabaseLocation &location)
{
    const std::optional<DatabaseLocation> before = m_base->connectedLocation();
    if (!DatabaseAccess::connectTo(*m_base, location, this)) {
        UserDialogs::current().showMessage(this, tidyDriverText(m_base->connectFailure()) +
                                                     QStringLiteral("\n\nTarvel bleibt bei der Datenbank, die es bisher "
                                                                    "geöffnet hatte."),
                                           QStringLiteral("Tarvel: Datenbank nicht geöffnet"), MessageIcon::Exclamation);
        if (before)
            m_base->ConnectTo(before->toString());
    }
    // Each window takes it for its next run; a run going on keeps its own.
    setOrbeBase(m_base);
    if (m_district)
        m_district->setOrbeBase(m_base);
    if (m_cooperative)
        m_cooperative->setOrbeBase(m_base);
}

void StartWindow::cmdBeenden_Click()
{
    // Runs go on beside the windows: they are stopped first, once asked.
    if (!stopRuns())
        return;
    // The program ends whatever Disconnect answers.
    if (m_base)
        m_base->Disconnect();
    m_base = nullptr;
    m_connection.reset();
    endProgramAtOnce();
}

QList<ImportWindow *> StartWindow::runningWindows() const
{
    QList<ImportWindow *> running;
    for (ImportWindow *window : {static_cast<ImportWindow *>(m_cooperative.get()),
                                 static_cast<ImportWindow *>(m_district.get())}) {
        if (window && window->isRunning())
            running << window;
    }
    return running;
}

bool StartWindow::stopRuns()
{
    const QList<ImportWindow *> running = runningWindows();
    if (running.isEmpty())
        return true;
    QStringList names;
    for (const ImportWindow *window : running)
        names << QStringLiteral("„%1“").arg(window->windowTitle());
    const QString text = (running.size() == 1 ? QStringLiteral("Im Fenster %1 läuft noch ein Lauf.")
                                              : QStringLiteral("In den Fenstern %1 laufen noch Läufe."))
                             .arg(names.join(QStringLiteral(" und ")))
                         + QStringLiteral("\n\nLauf abbrechen?");
    if (!UserDialogs::current().confirm(this, text, QStringLiteral("Tarvel")))
        return false;
    // Every wait of a run is bounded, so they all end; meanwhile the start
    // window says what it waits for and takes no clicks.
    const QString caption = m_cmdBeenden->text();
    for (QPushButton *button : {m_cmdHG, m_cmdJagdbezirk, m_cmdBeenden})
        button->setEnabled(false);
    m_cmdBeenden->setText(QStringLiteral("Läufe enden …"));
    setCursor(Qt::BusyCursor);
    QEventLoop waiting;
    for (ImportWindow *window : running) {
        connect(window, &ImportWindow::runEnded, &waiting, [this, &waiting] {
            if (runningWindows().isEmpty())
                waiting.quit();
        });
        window->stopRunQuietly();
    }
    if (!runningWindows().isEmpty())
        waiting.exec();
    unsetCursor();
    m_cmdBeenden->setText(caption);
    for (QPushButton *button : {m_cmdHG, m_cmdJagdbezirk, m_cmdBeenden})
        button->setEnabled(true);
    return true;
}

void endProgramAtOnce()
{
    // hide() sends no close event, so no window's closing handler runs.
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows)
        window->hide();
    // exit() without a running loop would make the next loop return at once.
    if (QThread::currentThread()->loopLevel() > 0)
        QCoreApplication::exit(0);
}
