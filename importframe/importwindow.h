#pragma once

#include "runhost.h"
#include "windowlayout.h"
#include "workbooklayout.h"

#include <QWidget>

#include <functional>
#include <memory>

class FittingLabel;
class LogBox;
class OrbeBase;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;
class RunDisplay;
class RunSession;
class StatusPanels;
class SummaryBar;
class UndoFlow;
struct RunOutput;

// The two runs of a window, and the kind of workbook they read.
struct WindowRuns
{
    std::function<bool(RunHost &)> check;
    std::function<bool(RunHost &)> import;
    WorkbookKind kind = WorkbookKind::District;
};

// The window both import kinds share: file choice, status bar, layout, log
// and progress. Its runs go beside it (RunSession); it shows what they tell.
// A subclass names itself, places its text box and gives its runs.
class ImportWindow : public QWidget
{
    Q_OBJECT

public:
    static constexpr int DesignWidth = ImportWindowLayout::DesignWidth;
    static constexpr int DesignHeight = ImportWindowLayout::DesignHeight;

    ImportWindow(const QString &name, const QString &caption, const TwipRect &txt1Design, WindowRuns runs);
    ~ImportWindow() override;

    // Write-only: keeps the object and fetches its connection anew, whose
    // database the next run opens (and the status bar names until a workbook
    // is chosen). Throws Failure when no object is given.
    void setOrbeBase(OrbeBase *base);

    // Event handlers, public so that the start window and tests can drive them.
    void cmdDatei_Click();
    void cmdImportTest_Click();
    void cmdImportStarten_Click();
    void cmdBeenden_Click();
    // "Import zurücknehmen…" (UndoFlow).
    void cmdImportZuruecknehmen_Click();
    void Form_Resize();

    // The inner area in twips. Setting it resizes the window; the layout step
    // works on these numbers, not on rounded pixels.
    QSize innerSizeTwips() const { return m_layout.inner; }
    void setInnerSizeTwips(int width, int height);
    const ImportWindowLayout &layoutTwips() const { return m_layout; }

    // Controls, for the tests.
    QPushButton *cmdDatei() const { return m_cmdDatei; }
    QPushButton *cmdImportTest() const { return m_cmdImportTest; }
    QPushButton *cmdImportStarten() const { return m_cmdImportStarten; }
    QPushButton *cmdBeenden() const { return m_cmdBeenden; }
    QPushButton *cmdImportZuruecknehmen() const { return m_cmdUndo; }
    QPlainTextEdit *txt1() const;
    QProgressBar *progressBar1() const;
    QStatusBar *statusBar1() const;
    FittingLabel *panel1() const;
    FittingLabel *panel2() const;
    OrbeBase *orbeBase() const { return m_base; }

    bool isRunning() const;
    // The program ends: a run going is cancelled without a question and ends
    // without its messages; runEnded() tells when it has.
    void stopRunQuietly();
    // The log's exact text, CR LF line breaks included.
    QString logText() const;
    // The chosen workbook, and the connection the status bar names.
    ImportWindowState &windowState() { return m_state; }

signals:
    void runEnded();

protected:
    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;

private:
    void Form_Load();
    void resetToDesign();
    void applyGeometry();
    void takeWorkbook(const QString &path);
    void updateButtons();
    void takeInnerSizeFrom(QSize pixels);
    void startRun(bool import);
    // A run of the window's kind and database, beside the window.
    void startJob(std::function<bool(RunHost &)> run, bool import, QPushButton *starter);
    void showRunOutput(RunOutput *output);

    const WindowRuns m_runs;
    OrbeBase *m_base = nullptr;
    ImportWindowState m_state;

    const TwipRect m_txt1Design;
    ImportWindowLayout m_layout;

    bool m_testEnabled = false;
    bool m_importEnabled = false;
    bool m_loaded = false;

    QPushButton *m_cmdDatei;
    QPushButton *m_cmdImportTest;
    QPushButton *m_cmdImportStarten;
    QPushButton *m_cmdBeenden;
    QPushButton *m_cmdUndo;
    LogBox *m_txt1Edit;
    SummaryBar *m_progressBar;
    StatusPanels *m_statusBar;
    std::unique_ptr<RunDisplay> m_display;
    std::shared_ptr<QString> m_layoutNote = std::make_shared<QString>(); // of the last run
    std::unique_ptr<UndoFlow> m_undo;
    // Declared last: it waits for a run still going before the widgets go.
    std::unique_ptr<RunSession> m_session;
};
