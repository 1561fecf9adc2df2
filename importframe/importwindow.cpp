#include "importwindow.h"

#include "failure.h"
#include "logbox.h"
#include "orbebase.h"
#include "orbeconnection.h"
#include "userdialogs.h"
#include "windowmemory.h"
#include "workbookchoice.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QStatusBar>
#include <QUrl>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

const QString FileFilter = QStringLiteral(
    "Excel (*.xlsx)|*.xlsx|Excel Files (*.xls;*.csv)|*.xls;*.csv|All Files (*.*)|*.*"
    "|Alle Tabellen (*.xlsx;*.xlsm;*.xls;*.ods;*.csv)|*.xlsx;*.xlsm;*.xls;*.ods;*.csv");

// Design of the controls that both windows place alike (twips).
constexpr TwipRect CmdDateiDesign{120, 120, 4155, 375};
constexpr TwipRect CmdImportTestDesign{4500, 120, 1935, 375};
constexpr TwipRect CmdImportStartenDesign{6660, 120, 2055, 375};
constexpr TwipRect CmdBeendenDesign{8880, 120, 1995, 375};
constexpr TwipRect ProgressBarDesign{120, 8520, 14775, 375};
constexpr int StatusBarDesignHeight = 255;
constexpr int Panel2DesignWidth = 1440;

// The window toolkit took its progress values as single-precision numbers.
int toProgressUnits(float value)
{
    if (std::isnan(value))
        return 0;
    const double rounded = std::round(double(value));
    return int(std::clamp(rounded, double(INT_MIN), double(INT_MAX)));
}

bool isUserInput(const QEvent *event)
{
    switch (event->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::MouseButtonRelease:
    case QEvent::MouseButtonDblClick:
    case QEvent::NonClientAreaMouseButtonPress:
    case QEvent::NonClientAreaMouseButtonRelease:
    case QEvent::NonClientAreaMouseButtonDblClick:
    case QEvent::Wheel:
    case QEvent::KeyPress:
    case QEvent::KeyRelease:
    case QEvent::Shortcut:
    case QEvent::ShortcutOverride:
    case QEvent::ContextMenu:
    case QEvent::TouchBegin:
    case QEvent::TouchUpdate:
    case QEvent::TouchEnd:
    case QEvent::TabletPress:
    case QEvent::TabletRelease:
    case QEvent::DragEnter:
    case QEvent::DragMove:
    case QEvent::Drop:
        return true;
    case QEvent::Close:
        // A title-bar close comes from the system; the program's own close()
        // calls do not.
        return event->spontaneous();
    default:
        return false;
    }
}

// A single local file dropped on the window.
std::optional<QString> droppedWorkbook(const QMimeData *data)
{
    const QList<QUrl> urls = data->urls();
    if (urls.size() != 1 || !urls.first().isLocalFile())
        return std::nullopt;
    return urls.first().toLocalFile();
}

} // namespace

ImportWindow::ImportWindow(const QString &name, const QString &caption,
                           const TwipRect &txt1Design)
    : QWidget(nullptr, Qt::Window)
    , m_txt1Design(txt1Design)
    , m_txt1(txt1Design)
    , m_progress(ProgressBarDesign)
    , m_panel2Width(Panel2DesignWidth)
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
    m_cmdDatei = makeButton(QStringLiteral("cmdDatei"),
                            QStringLiteral("Excel Datei auswählen (Quelle)"));
    m_cmdImportTest = makeButton(QStringLiteral("cmdImportTest"), QStringLiteral("Test"));
    m_cmdImportStarten = makeButton(QStringLiteral("cmdImportStarten"),
                                    QStringLiteral("Import Starten"));
    m_cmdBeenden = makeButton(QStringLiteral("cmdBeenden"), QStringLiteral("Abbrechen"));

    m_txt1Edit = new LogBox(this);
    m_txt1Edit->setObjectName(QStringLiteral("txt1"));

    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar->setTextVisible(false);
    m_progressBar->setAlignment(Qt::AlignCenter);

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
    m_statusBar->setSizeGripEnabled(false);
    m_panel1 = new QLabel(m_statusBar);
    m_panel1->setObjectName(QStringLiteral("Panel1"));
    m_panel2 = new QLabel(m_statusBar);
    m_panel2->setObjectName(QStringLiteral("Panel2"));
    // No frames: at the designed height of 255 twips a framed label cuts the
    // text's descenders.
    for (QLabel *panel : {m_panel1, m_panel2})
        panel->setTextFormat(Qt::PlainText);
    m_statusBar->addWidget(m_panel1);
    m_statusBar->addWidget(m_panel2, 1);
    // The designed height leaves the underscore and the descenders of the
    // 8-point font no room: the bar grows to what the panels need.
    m_statusBarHeight = std::max(StatusBarDesignHeight,
                                 pixelsToTwips(m_statusBar->sizeHint().height(), this));

    // Tab order as designed: Test, (progress bar), txt1, (status bar), file,
    // import, cancel. The bars take no focus.
    setTabOrder(m_cmdImportTest, m_txt1Edit);
    setTabOrder(m_txt1Edit, m_cmdDatei);
    setTabOrder(m_cmdDatei, m_cmdImportStarten);
    setTabOrder(m_cmdImportStarten, m_cmdBeenden);

    connect(m_cmdDatei, &QPushButton::clicked, this, &ImportWindow::cmdDatei_Click);
    connect(m_cmdImportTest, &QPushButton::clicked, this, &ImportWindow::cmdImportTest_Click);
    connect(m_cmdImportStarten, &QPushButton::clicked, this,
            &ImportWindow::cmdImportStarten_Click);
    connect(m_cmdBeenden, &QPushButton::clicked, this, &ImportWindow::cmdBeenden_Click);

    resetToDesign();
    resize(twipsToPixels(DesignWidth, this), twipsToPixels(DesignHeight, this));
}

ImportWindow::~ImportWindow()
{
    if (m_running) {
        qApp->removeEventFilter(this);
        QApplication::restoreOverrideCursor();
    }
}

Failure objectNotSet()
{
    return Failure(91, ErrorSource::Tarvel,
                   QStringLiteral("Objektvariable oder With-Blockvariable nicht festgelegt"));
}

void ImportWindow::setOrbeBase(OrbeBase *base)
{
    if (!base)
        throw objectNotSet();
    m_base = base;
    m_state.connection = base->Connection();
}

QPlainTextEdit *ImportWindow::txt1() const
{
    return m_txt1Edit;
}

void ImportWindow::resetToDesign()
{
    m_txt1 = m_txt1Design;
    m_progress = ProgressBarDesign;
    m_panel2Width = Panel2DesignWidth;

    m_testEnabled = false;
    m_importEnabled = false;
    updateButtons();
    clearLog();
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressBar->setTextVisible(false);
    m_progressBar->setToolTip(QString());
    m_progressValue = 0;
    for (QLabel *panel : {m_panel1, m_panel2}) {
        panel->clear();
        panel->setToolTip(QString());
    }
    applyGeometry();
}

void ImportWindow::Form_Load()
{
    // A window shown again after closing starts over, at the place and size
    // it had when it was closed.
    resetToDesign();
    m_innerTwips = QSize(DesignWidth, DesignHeight);
    restoreWindowPlace(this, QSize(twipsToPixels(DesignWidth, this),
                                   twipsToPixels(DesignHeight, this)));
    takeInnerSizeFrom(size());
    // A connection that cannot describe itself leaves the panel empty; the
    // window stays usable.
    try {
        if (m_state.connection)
            m_panel1->setText(m_state.connection->Description());
    } catch (const Failure &) {
    }
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
    if (m_running) {
        event->ignore();
        return;
    }
    m_loaded = false;
    event->accept();
}

void ImportWindow::keyPressEvent(QKeyEvent *event)
{
    // During a run no key arrives here.
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier)
        close();
    else
        QWidget::keyPressEvent(event);
}

void ImportWindow::dragEnterEvent(QDragEnterEvent *event)
{
    if (droppedWorkbook(event->mimeData()))
        event->acceptProposedAction();
}

void ImportWindow::dropEvent(QDropEvent *event)
{
    if (const std::optional<QString> path = droppedWorkbook(event->mimeData())) {
        event->acceptProposedAction();
        takeWorkbook(*path);
    }
}

void ImportWindow::takeInnerSizeFrom(QSize pixels)
{
    // Pixels that match the twip model are left alone, so that a size set in
    // twips stays exact.
    if (pixels.width() != twipsToPixels(m_innerTwips.width(), this))
        m_innerTwips.setWidth(pixelsToTwips(pixels.width(), this));
    if (pixels.height() != twipsToPixels(m_innerTwips.height(), this))
        m_innerTwips.setHeight(pixelsToTwips(pixels.height(), this));
}

void ImportWindow::resizeEvent(QResizeEvent *event)
{
    takeInnerSizeFrom(event->size());
    Form_Resize();
    QWidget::resizeEvent(event);
}

void ImportWindow::setInnerSizeTwips(int width, int height)
{
    m_innerTwips = QSize(width, height);
    resize(twipsToPixels(width, this), twipsToPixels(height, this));
    Form_Resize();
}

TwipRect ImportWindow::statusBarTwips() const
{
    return {0, m_innerTwips.height() - m_statusBarHeight, m_innerTwips.width(), m_statusBarHeight};
}

void ImportWindow::Form_Resize()
{
    const int W = m_innerTwips.width();
    const int H = m_innerTwips.height();
    // Each step reads what the steps before it left; a size below zero is
    // refused and that step alone is skipped.
    auto setSize = [](int &size, int value) {
        if (value >= 0)
            size = value;
    };
    setSize(m_txt1.width, W - 2 * m_txt1.left);
    setSize(m_txt1.height, H - m_txt1.top - m_statusBarHeight - m_progress.height - 60);
    setSize(m_progress.width, m_txt1.width);
    m_progress.top = m_txt1.top + m_txt1.height + 30;
    setSize(m_panel2Width, W - Panel1Width);
    applyGeometry();
}

void ImportWindow::applyGeometry()
{
    placeInTwips(m_cmdDatei, CmdDateiDesign);
    placeInTwips(m_cmdImportTest, CmdImportTestDesign);
    placeInTwips(m_cmdImportStarten, CmdImportStartenDesign);
    placeInTwips(m_cmdBeenden, CmdBeendenDesign);
    placeInTwips(m_txt1Edit, m_txt1);
    placeInTwips(m_progressBar, m_progress);
    placeInTwips(m_statusBar, statusBarTwips());
    m_panel1->setFixedWidth(twipsToPixels(Panel1Width, this));
    m_panel2->setMaximumWidth(twipsToPixels(m_panel2Width, this));
}

void ImportWindow::updateButtons()
{
    // During a run only "Abbrechen" takes input; the others show it.
    m_cmdDatei->setEnabled(!m_running);
    m_cmdImportTest->setEnabled(m_testEnabled && !m_running);
    m_cmdImportStarten->setEnabled(m_importEnabled && !m_running);
}

void ImportWindow::cmdDatei_Click()
{
    // Cancelling ends the file choice silently.
    const std::optional<QString> chosen = UserDialogs::current().chooseOpenFile(
        this, qtFileFilters(FileFilter), lastWorkbookFolder());
    if (chosen)
        takeWorkbook(*chosen);
}

void ImportWindow::takeWorkbook(const QString &path)
{
    // Any failure ends the file choice silently; what was done before it
    // stays done.
    try {
        if (const std::optional<OrbeTools::PathParts> parts = chooseWorkbook(m_state, path)) {
            rememberWorkbookFolder(QFileInfo(path).absolutePath());
            m_panel1->setText(parts->folder);
            m_panel1->setToolTip(parts->folder);
            m_panel2->setText(parts->name);
            m_panel2->setToolTip(parts->name);
            // A new workbook is imported only after its own check.
            m_testEnabled = true;
            m_importEnabled = false;
        } else {
            UserDialogs::current().showMessage(this, WorkbookRejectedText, WorkbookRejectedTitle,
                                               MessageIcon::Exclamation);
            for (QLabel *panel : {m_panel1, m_panel2}) {
                panel->clear();
                panel->setToolTip(QString());
            }
            m_testEnabled = false;
            m_importEnabled = false;
        }
        // What the bar says belongs to the workbook before.
        m_progressBar->setTextVisible(false);
        m_progressBar->setToolTip(QString());
        updateButtons();
    } catch (const Failure &) {
    }
}

void ImportWindow::cmdImportTest_Click()
{
    runHoldingWindow(&ImportWindow::runCheck);
}

void ImportWindow::cmdImportStarten_Click()
{
    runHoldingWindow(&ImportWindow::runImport);
}

void ImportWindow::cmdBeenden_Click()
{
    if (!m_running) {
        close();
        return;
    }
    if (UserDialogs::current().confirm(this, QStringLiteral("Lauf abbrechen?"),
                                       QStringLiteral("Tarvel")))
        m_cancelRequested = true;
}

void ImportWindow::runHoldingWindow(void (ImportWindow::*run)())
{
    // A run holds the program until it ends. Painting goes on meanwhile, so
    // user input is swallowed rather than merely held back: a click queued
    // during a run must not start another one afterwards. "Abbrechen" alone
    // stays usable, to stop the run.
    if (m_running)
        return;
    m_running = true;
    m_cancelRequested = false;
    m_summaryShown = false;
    QWidget *focused = focusWidget();
    updateButtons();
    m_progressBar->setFormat(QStringLiteral("Zeile %v von %m"));
    m_progressBar->setToolTip(QString());
    m_progressBar->setTextVisible(true);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    qApp->installEventFilter(this);
    m_sincePaint.start();
    struct Release
    {
        ImportWindow *window;
        QWidget *focused;
        ~Release()
        {
            window->m_txt1Edit->showPending();
            window->m_txt1Edit->showEnd();
            qApp->removeEventFilter(window);
            QApplication::restoreOverrideCursor();
            window->m_running = false;
            window->updateButtons();
            if (!window->m_summaryShown)
                window->m_progressBar->setTextVisible(false);
            if (focused && focused->isEnabled())
                focused->setFocus();
        }
    } release{this, focused};
    (this->*run)();
}

bool ImportWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The message boxes a run shows are modal and must stay usable. Input
    // reaches a window's widgets through the window system's window; it is
    // judged there, at the widget.
    if (m_running && watched->isWidgetType() && watched != m_cmdBeenden && isUserInput(event)
        && !QApplication::activeModalWidget()) {
        // A close event left accepted would close its window all the same.
        if (event->type() == QEvent::Close)
            event->ignore();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void ImportWindow::letPaintingThrough()
{
    if (!m_running || !isVisible() || m_sincePaint.elapsed() < 100)
        return;
    m_txt1Edit->showPending();
    QCoreApplication::processEvents();
    m_sincePaint.start();
}

void ImportWindow::showPendingOutput()
{
    m_txt1Edit->showPending();
    if (isVisible()) {
        m_txt1Edit->viewport()->repaint();
        m_progressBar->repaint();
    }
}

void ImportWindow::showPendingOutputOfAll()
{
    const QWidgetList windows = QApplication::topLevelWidgets();
    for (QWidget *window : windows) {
        if (auto *importWindow = qobject_cast<ImportWindow *>(window))
            importWindow->showPendingOutput();
    }
}

void ImportWindow::clearLog()
{
    m_txt1Edit->clearLog();
}

void ImportWindow::appendLog(const QString &piece)
{
    m_txt1Edit->appendLog(piece, m_running);
    if (m_running)
        letPaintingThrough();
}

QString ImportWindow::logText() const
{
    return m_txt1Edit->logText();
}

void ImportWindow::setProgressMaximum(float maximum)
{
    // A maximum of 0 (a workbook without data rows) shows an empty bar instead
    // of Qt's busy animation.
    m_progressBar->setRange(0, std::max(1, toProgressUnits(maximum)));
    m_progressBar->setValue(std::clamp(toProgressUnits(m_progressValue), 0, m_progressBar->maximum()));
    letPaintingThrough();
}

void ImportWindow::setProgressValue(float value)
{
    m_progressValue = value;
    m_progressBar->setValue(std::clamp(toProgressUnits(value), 0, m_progressBar->maximum()));
    letPaintingThrough();
}

void ImportWindow::setImportEnabled(bool enabled)
{
    m_importEnabled = enabled;
    updateButtons();
}

void ImportWindow::showMessage(const QString &text, const QString &title, MessageIcon icon)
{
    showPendingOutput();
    UserDialogs::current().showMessage(this, text, title, icon);
}

void ImportWindow::showSummary(const RunSummary &summary)
{
    // The bar shows one line; its tool tip all of them.
    const QString lines = summaryText(summary);
    QString line = lines;
    line.replace(QLatin1Char('\n'), QStringLiteral(" – "));
    m_progressBar->setFormat(line);
    m_progressBar->setToolTip(lines);
    m_progressBar->setTextVisible(true);
    m_summaryShown = true;
    showPendingOutput();
}

void ImportWindow::showImportFinished(const QString &text, const QString &logFilePath)
{
    showPendingOutput();
    const int choice = UserDialogs::current().showMessage(
        this, text, QStringLiteral("Tarvel"), MessageIcon::Information,
        {QStringLiteral("Protokoll öffnen"), QStringLiteral("Ordner öffnen")});
    const QFileInfo logFile(logFilePath);
    if (choice == 1)
        QDesktopServices::openUrl(QUrl::fromLocalFile(logFile.absoluteFilePath()));
    else if (choice == 2)
        QDesktopServices::openUrl(QUrl::fromLocalFile(logFile.absolutePath()));
}
