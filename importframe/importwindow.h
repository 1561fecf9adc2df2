#pragma once

#include "runhost.h"
#include "twips.h"

#include <QElapsedTimer>
#include <QString>
#include <QWidget>

class Failure;
class LogBox;
class OrbeBase;
class QLabel;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QStatusBar;

// The failure of handing a window a database object that is not there
// (run-time error 91).
Failure objectNotSet();

// The window both import kinds share: file choice, status bar, layout, log and
// progress for the runs. A subclass only names itself, places its text box and
// supplies its two runs.
class ImportWindow : public QWidget, public RunHost
{
    Q_OBJECT

public:
    // Design of the window's inner area, in twips.
    static constexpr int DesignWidth = 15075;
    static constexpr int DesignHeight = 9225;
    static constexpr int Panel1Width = 8000;

    ~ImportWindow() override;

    // Write-only: keeps the object and fetches its connection anew. Throws
    // Failure when no object is given.
    void setOrbeBase(OrbeBase *base);

    // Event handlers, public so that the start window and tests can drive them.
    void cmdDatei_Click();
    void cmdImportTest_Click();
    void cmdImportStarten_Click();
    void cmdBeenden_Click();
    void Form_Resize();

    // The inner area in twips. Setting it resizes the window; the layout step
    // works on these numbers, not on rounded pixels.
    QSize innerSizeTwips() const { return m_innerTwips; }
    void setInnerSizeTwips(int width, int height);

    TwipRect txt1Twips() const { return m_txt1; }
    TwipRect progressBarTwips() const { return m_progress; }
    TwipRect statusBarTwips() const;
    int panel2WidthTwips() const { return m_panel2Width; }

    // Controls, for the runs' tests and the window tests.
    QPushButton *cmdDatei() const { return m_cmdDatei; }
    QPushButton *cmdImportTest() const { return m_cmdImportTest; }
    QPushButton *cmdImportStarten() const { return m_cmdImportStarten; }
    QPushButton *cmdBeenden() const { return m_cmdBeenden; }
    QPlainTextEdit *txt1() const;
    QProgressBar *progressBar1() const { return m_progressBar; }
    QStatusBar *statusBar1() const { return m_statusBar; }
    QLabel *panel1() const { return m_panel1; }
    QLabel *panel2() const { return m_panel2; }
    OrbeBase *orbeBase() const { return m_base; }
    bool isRunning() const { return m_running; }

    // Shows what the runs of every import window have logged so far, before a
    // message box covers the program.
    static void showPendingOutputOfAll();

    // RunHost
    ImportWindowState &windowState() override { return m_state; }
    void clearLog() override;
    void appendLog(const QString &piece) override;
    QString logText() const override;
    void setProgressMaximum(float maximum) override;
    void setProgressValue(float value) override;
    void setImportEnabled(bool enabled) override;
    void showMessage(const QString &text, const QString &title, MessageIcon icon) override;
    QString placeName() const override { return objectName(); }
    bool cancelRequested() override { return m_cancelRequested; }
    void showSummary(const RunSummary &summary) override;
    void showImportFinished(const QString &text, const QString &logFilePath) override;

protected:
    ImportWindow(const QString &name, const QString &caption, const TwipRect &txt1Design);

    virtual void runCheck() = 0;
    virtual void runImport() = 0;

    void showEvent(QShowEvent *event) override;
    void hideEvent(QHideEvent *event) override;
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;
    void dragEnterEvent(QDragEnterEvent *event) override;
    void dropEvent(QDropEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Form_Load();
    void resetToDesign();
    void applyGeometry();
    void takeWorkbook(const QString &path);
    void updateButtons();
    void runHoldingWindow(void (ImportWindow::*run)());
    void letPaintingThrough();
    void showPendingOutput();
    void takeInnerSizeFrom(QSize pixels);

    OrbeBase *m_base = nullptr;
    ImportWindowState m_state;

    const TwipRect m_txt1Design;
    QSize m_innerTwips{DesignWidth, DesignHeight};
    TwipRect m_txt1;
    TwipRect m_progress;
    int m_panel2Width = 1440;
    int m_statusBarHeight;

    float m_progressValue = 0;
    bool m_testEnabled = false;
    bool m_importEnabled = false;

    bool m_loaded = false;
    bool m_running = false;
    bool m_cancelRequested = false;
    bool m_summaryShown = false;
    QElapsedTimer m_sincePaint;

    QPushButton *m_cmdDatei;
    QPushButton *m_cmdImportTest;
    QPushButton *m_cmdImportStarten;
    QPushButton *m_cmdBeenden;
    LogBox *m_txt1Edit;
    QProgressBar *m_progressBar;
    QStatusBar *m_statusBar;
    QLabel *m_panel1;
    QLabel *m_panel2;
};
