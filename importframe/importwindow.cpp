#include "importwindow.h"

#include "failure.h"
#include "orbebase.h"
#include "orbeconnection.h"
#include "userdialogs.h"
#include "workbookchoice.h"

#include <QApplication>
#include <QCloseEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QResizeEvent>
#include <QScopedValueRollback>
#include <QScrollBar>
#include <QStatusBar>
#include <QTextCursor>

#include <algorithm>
#include <climits>
#include <cmath>

namespace {

const QString FileFilter = QStringLiteral(
    "Excel (*.xlsx)|*.xlsx|Excel Files (*.xls;*.csv)|*.xls;*.csv|All Files (*.*)|*.*");

// Design of the controls that both windows place alike (twips).
constexpr TwipRect CmdDateiDesign{120, 120, 4155, 375};
constexpr TwipRect CmdImportTestDesign{4500, 120, 1935, 375};
constexpr TwipRect CmdImportStartenDesign{6660, 120, 2055, 375};
constexpr TwipRect CmdBeendenDesign{8880, 120, 1995, 375};
constexpr TwipRect ProgressBarDesign{120, 8520, 14775, 375};
constexpr int StatusBarHeight = 255;
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

    auto makeButton = [this](const QString &objectName, const QString &text) {
        auto *button = new QPushButton(text, this);
        button->setObjectName(objectName);
        button->setAutoDefault(false);
        return button;
    };
    m_cmdDatei = makeButton(QStringLiteral("cmdDatei"),
                            QStringLiteral("Excel Datei auswählen (Quelle)"));
    m_cmdImportTest = makeButton(QStringLiteral("cmdImportTest"), QStringLiteral("Test"));
    m_cmdImportStarten = makeButton(QStringLiteral("cmdImportStarten"),
                                    QStringLiteral("Import Starten"));
    m_cmdBeenden = makeButton(QStringLiteral("cmdBeenden"), QStringLiteral("Abbrechen"));

    m_txt1Edit = new QPlainTextEdit(this);
    m_txt1Edit->setObjectName(QStringLiteral("txt1"));
    m_txt1Edit->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_txt1Edit->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_txt1Edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    // A long log would otherwise keep every append on the undo stack.
    m_txt1Edit->setUndoRedoEnabled(false);
    connect(m_txt1Edit, &QPlainTextEdit::textChanged, this, [this] {
        if (!m_writingLog)
            m_logTouchedByUser = true;
    });

    m_progressBar = new QProgressBar(this);
    m_progressBar->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar->setTextVisible(false);

    m_statusBar = new QStatusBar(this);
    m_statusBar->setObjectName(QStringLiteral("StatusBar1"));
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
    if (m_running)
        qApp->removeEventFilter(this);
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

void ImportWindow::resetToDesign()
{
    m_txt1 = m_txt1Design;
    m_progress = ProgressBarDesign;
    m_panel2Width = Panel2DesignWidth;

    m_cmdDatei->setEnabled(true);
    m_cmdImportTest->setEnabled(false);
    m_cmdImportStarten->setEnabled(false);
    m_cmdBeenden->setEnabled(true);
    clearLog();
    m_progressBar->setRange(0, 100);
    m_progressBar->setValue(0);
    m_progressValue = 0;
    for (QLabel *panel : {m_panel1, m_panel2}) {
        panel->clear();
        panel->setToolTip(QString());
    }
    applyGeometry();
}

void ImportWindow::Form_Load()
{
    // A window shown again after closing starts over at its design size, as a
    // newly made one does.
    m_innerTwips = QSize(DesignWidth, DesignHeight);
    resize(twipsToPixels(DesignWidth, this), twipsToPixels(DesignHeight, this));
    resetToDesign();
    // A connection that cannot describe itself leaves the panel empty; the
    // window stays usable.
    try {
        if (m_state.connection)
            m_panel1->setText(m_state.connection->Description());
    } catch (const std::exception &) {
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

void ImportWindow::closeEvent(QCloseEvent *event)
{
    if (m_running) {
        event->ignore();
        return;
    }
    m_loaded = false;
    event->accept();
}

void ImportWindow::resizeEvent(QResizeEvent *event)
{
    // Pixels that match the twip model are left alone, so that a size set in
    // twips stays exact.
    const QSize pixels = event->size();
    if (pixels.width() != twipsToPixels(m_innerTwips.width(), this))
        m_innerTwips.setWidth(pixelsToTwips(pixels.width(), this));
    if (pixels.height() != twipsToPixels(m_innerTwips.height(), this))
        m_innerTwips.setHeight(pixelsToTwips(pixels.height(), this));
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
    return {0, m_innerTwips.height() - StatusBarHeight, m_innerTwips.width(), StatusBarHeight};
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
    setSize(m_txt1.height, H - m_txt1.top - StatusBarHeight - m_progress.height - 60);
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

void ImportWindow::cmdDatei_Click()
{
    // Any failure, cancelling included, ends the file choice silently; what
    // was done before it stays done.
    try {
        const std::optional<QString> chosen =
            UserDialogs::current().chooseOpenFile(this, qtFileFilters(FileFilter));
        if (!chosen)
            return;
        if (const std::optional<WorkbookPathParts> parts = chooseWorkbook(m_state, *chosen)) {
            m_panel1->setText(parts->folder);
            m_panel1->setToolTip(parts->folder);
            m_panel2->setText(parts->fileName);
            m_panel2->setToolTip(parts->fileName);
            m_cmdImportTest->setEnabled(true);
        } else {
            UserDialogs::current().showMessage(this, WorkbookRejectedText, WorkbookRejectedTitle,
                                               MessageIcon::Exclamation);
            for (QLabel *panel : {m_panel1, m_panel2}) {
                panel->clear();
                panel->setToolTip(QString());
            }
            m_cmdImportStarten->setEnabled(false);
            m_cmdImportTest->setEnabled(false);
        }
    } catch (const std::exception &) {
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
    close();
}

void ImportWindow::runHoldingWindow(void (ImportWindow::*run)())
{
    // A run holds the program until it ends. Painting goes on meanwhile, so
    // user input is swallowed rather than merely held back: a click queued
    // during a run must not start another one afterwards.
    if (m_running)
        return;
    m_running = true;
    qApp->installEventFilter(this);
    m_sincePaint.start();
    struct Release
    {
        ImportWindow *window;
        ~Release()
        {
            window->showPendingLog();
            qApp->removeEventFilter(window);
            window->m_running = false;
        }
    } release{this};
    (this->*run)();
    m_txt1Edit->verticalScrollBar()->setValue(m_txt1Edit->verticalScrollBar()->maximum());
}

bool ImportWindow::eventFilter(QObject *watched, QEvent *event)
{
    // The message boxes a run shows are modal and must stay usable.
    if (m_running && isUserInput(event) && !QApplication::activeModalWidget())
        return true;
    return QWidget::eventFilter(watched, event);
}

void ImportWindow::letPaintingThrough()
{
    if (!m_running || !isVisible() || m_sincePaint.elapsed() < 100)
        return;
    showPendingLog();
    m_txt1Edit->verticalScrollBar()->setValue(m_txt1Edit->verticalScrollBar()->maximum());
    QCoreApplication::processEvents();
    m_sincePaint.start();
}

void ImportWindow::showPendingLog()
{
    if (m_pendingLog.isEmpty())
        return;
    QScopedValueRollback writing(m_writingLog, true);
    QTextCursor cursor(m_txt1Edit->document());
    cursor.movePosition(QTextCursor::End);
    cursor.insertText(m_pendingLog);
    m_pendingLog.clear();
}

void ImportWindow::clearLog()
{
    QScopedValueRollback writing(m_writingLog, true);
    m_log.clear();
    m_pendingLog.clear();
    m_txt1Edit->clear();
    m_logTouchedByUser = false;
}

void ImportWindow::appendLog(const QString &piece)
{
    if (m_logTouchedByUser) {
        // The user typed into the box: the box is the log.
        m_log = m_txt1Edit->toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
        m_logTouchedByUser = false;
    }
    m_log += piece;
    // The box shows line feeds only. During a run it takes the pieces in
    // batches, which lays the text out several times faster than piece by
    // piece.
    for (const QChar c : piece) {
        if (c != QLatin1Char('\r'))
            m_pendingLog += c;
    }
    if (m_running)
        letPaintingThrough();
    else
        showPendingLog();
}

QString ImportWindow::logText() const
{
    if (m_logTouchedByUser)
        return m_txt1Edit->toPlainText().replace(QLatin1Char('\n'), QLatin1String("\r\n"));
    return m_log;
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
    m_cmdImportStarten->setEnabled(enabled);
}

void ImportWindow::showMessage(const QString &text, const QString &title, MessageIcon icon)
{
    showPendingLog();
    UserDialogs::current().showMessage(this, text, title, icon);
}
