#include "importwindow.h"

#include "failure.h"
#include "fittingtext.h"
#include "logbox.h"
#include "orbebase.h"
#include "orbeconnection.h"
#include "rundisplay.h"
#include "runsession.h"
#include "undoflow.h"
#include "userdialogs.h"
#include "windowmemory.h"
#include "workbookchoice.h"

#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QMimeData>
#include <QPushButton>
#include <QScreen>
#include <QResizeEvent>
#include <QUrl>

namespace {

const QString FileFilter = QStringLiteral(
    "Excel (*.xlsx)|*.xlsx|Excel Files (*.xls;*.csv)|*.xls;*.csv|All Files (*.*)|*.*"
    "|Alle Tabellen (*.xlsx;*.xlsm;*.xls;*.ods;*.csv)|*.xlsx;*.xlsm;*.xls;*.ods;*.csv");

// A single local file dropped on the window.
std::optional<QString> droppedWorkbook(const QMimeData *data)
{
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return std::nullopt;
    return urls.first().toLocalFile();
}

} // namespace

ImportWindow::ImportWindow(const QString &name, const QString &caption, const TwipRect &txt1Design, WindowRuns runs)
    : QWidget(nullptr, Qt::Window)
    , m_runs(std::move(runs))
    , m_txt1Design(txt1Design)
    , m_layout(txt1Design, 0)
{
    setObjectName(name);
    setWindowTitle(caption);
    useDesignFont(this);
    setAcceptDrops(true);

    auto makeButton = [this](const QString &objectName, const QString &text) {
        auto *button = new QPushButton(text, this);
        button->setObjectName(objectName);
        // Enter presses the focused button, as Space does.
        button->setAutoDefault(true);
        return button;
    };
    m_cmdDatei = makeButton(QStringLiteral("cmdDatei"), QStringLiteral("Excel Datei auswählen (Quelle)"));
    m_cmdImportTest = makeButton(QStringLiteral("cmdImportTest"), QStringLiteral("Test"));
    m_cmdImportStarten = makeButton(QStringLiteral("cmdImportStarten"), QStringLiteral("Import Starten"));
    m_cmdBeenden = makeButton(QStringLiteral("cmdBeenden"), QStringLiteral("Abbrechen"));
    m_cmdUndo = makeButton(QStringLiteral("cmdImportZuruecknehmen"), QStringLiteral("Import zurücknehmen…"));

    m_txt1Edit = new LogBox(this);
    m_txt1Edit->setObjectName(QStringLiteral("txt1"));
    m_progressBar = new SummaryBar(this);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar1"));

    m_statusBar = new StatusPanels(this);
    // The designed height leaves the underscore and the descenders of the
    // 8-point font no room: the bar grows to what the panels need.
    m_layout = ImportWindowLayout(txt1Design, pixelsToTwips(m_statusBar->sizeHint().height(), this));

    // Tab order as designed: Test, (progress bar), txt1, (status bar), file,
    // import, cancel. The bars take no focus.
    setTabOrder(m_cmdImportTest, m_txt1Edit);
    setTabOrder(m_txt1Edit, m_cmdDatei);
    setTabOrder(m_cmdDatei, m_cmdImportStarten);
    setTabOrder(m_cmdImportStarten, m_cmdBeenden);
    setTabOrder(m_cmdBeenden, m_cmdUndo);

    m_display = std::make_unique<RunDisplay>(this, m_txt1Edit, m_progressBar);
    m_session = std::make_unique<RunSession>(this, m_cmdBeenden, m_cmdImportTest);
    connect(m_session.get(), &RunSession::runningChanged, this, [this](bool running) {
        updateButtons();
        // The log scrolls during a run, but takes no typing.
        m_txt1Edit->setReadOnly(running);
        if (!running)
            emit runEnded();
    });
    connect(m_session.get(), &RunSession::outputReady, this, &ImportWindow::showRunOutput);
    connect(m_session.get(), &RunSession::ended, this, [this](RunEnding *ending) { m_display->end(*ending, *m_layoutNote); });
    // Queued: a taking back starts once the session has finished the run before.
    m_undo = std::make_unique<UndoFlow>(this, [this](auto run) { startJob(std::move(run), false, m_cmdUndo); });
    connect(m_session.get(), &RunSession::ended, this, [this] { m_undo->runEnded(); }, Qt::QueuedConnection);
    connect(m_cmdDatei, &QPushButton::clicked, this, &ImportWindow::cmdDatei_Click);
    connect(m_cmdImportTest, &QPushButton::clicked, this, &ImportWindow::cmdImportTest_Click);
    connect(m_cmdImportStarten, &QPushButton::clicked, this, &ImportWindow::cmdImportStarten_Click);
    connect(m_cmdBeenden, &QPushButton::clicked, this, &ImportWindow::cmdBeenden_Click);
    connect(m_cmdUndo, &QPushButton::clicked, this, &ImportWindow::cmdImportZuruecknehmen_Click);

    resetToDesign();
    resize(twipsToPixels(DesignWidth, this), twipsToPixels(DesignHeight, this));
    // Narrower, buttons would be cut; lower, the layout keeps its rule. A
    // screen narrower than the button row still takes the whole window.
    const QRect screen = this->screen() ? this->screen()->availableGeometry() : QRect();
    int least = twipsToPixels(ImportWindowLayout::ButtonRowWidth, this);
    if (!screen.isEmpty())
        least = std::min(least, screen.width());
    setMinimumWidth(least);
}

ImportWindow::~ImportWindow() = default;

void ImportWindow::setOrbeBase(OrbeBase *base)
{
    if (!base)
        throw objectNotSet();
    m_base = base;
    m_state.connection = base->Connection();
    // Until a workbook is chosen the status bar names the database handed over last.
    if (m_loaded && m_state.workbookPath.isEmpty() && m_state.connection)
        m_statusBar->setTexts(m_state.connection->Description(), QString(), m_state.connection->Description());
}

QPlainTextEdit *ImportWindow::txt1() const { return m_txt1Edit; }
QProgressBar *ImportWindow::progressBar1() const { return m_progressBar; }
QStatusBar *ImportWindow::statusBar1() const { return m_statusBar; }
FittingLabel *ImportWindow::panel1() const { return m_statusBar->panel1(); }
FittingLabel *ImportWindow::panel2() const { return m_statusBar->panel2(); }

bool ImportWindow::isRunning() const
{
    return m_session->isRunning();
}

void ImportWindow::stopRunQuietly()
{
    m_session->cancelQuietly();
}

QString ImportWindow::logText() const
{
    return m_txt1Edit->logText();
}

void ImportWindow::resetToDesign()
{
    const QSize inner = m_layout.inner;
    m_layout = ImportWindowLayout(m_txt1Design, m_layout.statusBarHeight);
    m_layout.inner = inner;
    m_testEnabled = false;
    m_importEnabled = false;
    updateButtons();
    m_txt1Edit->clearLog();
    m_display->reset();
    m_statusBar->setTexts(QString(), QString(), QString());
    applyGeometry();
}

void ImportWindow::Form_Load()
{
    // A window shown again after closing starts over, at the place and size
    // it had when it was closed.
    resetToDesign();
    m_layout.inner = QSize(DesignWidth, DesignHeight);
    restoreWindowPlace(this, QSize(twipsToPixels(DesignWidth, this), twipsToPixels(DesignHeight, this)));
    takeInnerSizeFrom(size());
    if (m_state.connection)
        m_statusBar->setTexts(m_state.connection->Description(), QString(), m_state.connection->Description());
}

void ImportWindow::showEvent(QShowEvent *event)
{
    if (!m_loaded) {
        m_loaded = true;
        Form_Load();
        Form_Resize();
        m_txt1Edit->setFocus();
    }
    QWidget::showEvent(event);
}

void ImportWindow::hideEvent(QHideEvent *event)
{
    // "Beenden" on the start window hides every window without closing it.
    if (!event->spontaneous())
        rememberWindowPlace(this);
    QWidget::hideEvent(event);
}

void ImportWindow::closeEvent(QCloseEvent *event)
{
    // A run is stopped first; the window closes once it has.
    if (isRunning()) {
        event->ignore();
        m_session->askToCancel(true);
        return;
    }
    m_loaded = false;
    event->accept();
}

void ImportWindow::keyPressEvent(QKeyEvent *event)
{
    if (event->key() != Qt::Key_Escape || event->modifiers() != Qt::NoModifier)
        QWidget::keyPressEvent(event);
    else if (isRunning())
        m_session->askToCancel(false);
    else
        close();
}

void ImportWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (!isRunning() && droppedWorkbook(event->mimeData()))
        event->acceptProposedAction();
}

void ImportWindow::dropEvent(QDropEvent *event)
{
    if (const std::optional<QString> path = droppedWorkbook(event->mimeData()); path && !isRunning()) {
        event->acceptProposedAction();
        takeWorkbook(*path);
    }
}

void ImportWindow::takeInnerSizeFrom(QSize pixels)
{
    // Pixels that match the twip model are left alone, so that a size set in
    // twips stays exact.
    if (pixels.width() != twipsToPixels(m_layout.inner.width(), this))
        m_layout.inner.setWidth(pixelsToTwips(pixels.width(), this));
    if (pixels.height() != twipsToPixels(m_layout.inner.height(), this))
        m_layout.inner.setHeight(pixelsToTwips(pixels.height(), this));
}

void ImportWindow::resizeEvent(QResizeEvent *event)
{
    takeInnerSizeFrom(event->size());
    Form_Resize();
    QWidget::resizeEvent(event);
}

void ImportWindow::setInnerSizeTwips(int width, int height)
{
    m_layout.inner = QSize(width, height);
    resize(twipsToPixels(width, this), twipsToPixels(height, this));
    Form_Resize();
}

void ImportWindow::Form_Resize()
{
    m_layout.resize(m_layout.inner.width(), m_layout.inner.height());
    applyGeometry();
}

void ImportWindow::applyGeometry()
{
    placeInTwips(m_cmdDatei, ImportWindowLayout::CmdDatei);
    placeInTwips(m_cmdImportTest, ImportWindowLayout::CmdImportTest);
    placeInTwips(m_cmdImportStarten, ImportWindowLayout::CmdImportStarten);
    placeInTwips(m_cmdBeenden, ImportWindowLayout::CmdBeenden);
    placeInTwips(m_cmdUndo, ImportWindowLayout::CmdImportZuruecknehmen);
    placeInTwips(m_txt1Edit, m_layout.txt1);
    placeInTwips(m_progressBar, m_layout.progress);
    placeInTwips(m_statusBar, m_layout.statusBar());
    m_statusBar->setWidths(twipsToPixels(ImportWindowLayout::Panel1Width, this), twipsToPixels(m_layout.panel2Width, this));
}

void ImportWindow::updateButtons()
{
    // During a run only "Abbrechen" takes input; the others show it.
    const bool idle = !isRunning();
    m_cmdDatei->setEnabled(idle);
    m_cmdImportTest->setEnabled(m_testEnabled && idle);
    m_cmdImportStarten->setEnabled(m_importEnabled && idle);
    m_cmdUndo->setEnabled(idle);
}

void ImportWindow::cmdDatei_Click()
{
    if (isRunning())
        return;
    // Cancelling ends the file choice silently.
    const std::optional<QString> chosen =
        UserDialogs::current().chooseOpenFile(this, qtFileFilters(FileFilter), lastWorkbookFolder());
    if (chosen)
        takeWorkbook(*chosen);
}

void ImportWindow::takeWorkbook(const QString &path)
{
    const std::optional<OrbeTools::PathParts> parts = chooseWorkbook(m_state, path);
    if (parts) {
        rememberWorkbookFolder(QFileInfo(path).absolutePath());
        // As the system writes paths: with backslashes on Windows.
        m_statusBar->setTexts(QDir::toNativeSeparators(parts->folder), parts->name, QDir::toNativeSeparators(path));
    } else {
        UserDialogs::current().showMessage(this, WorkbookRejectedText, WorkbookRejectedTitle, MessageIcon::Exclamation);
        m_statusBar->setTexts(QString(), QString(), QString());
    }
    // A new workbook is imported only after its own check; what the bar says
    // belongs to the workbook before.
    m_testEnabled = parts.has_value();
    m_importEnabled = false;
    m_progressBar->showSummary(QString());
    updateButtons();
}
