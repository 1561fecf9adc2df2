#include "importwindow.h"

#include "logbox.h"
#include "orbebase.h"
#include "rundisplay.h"
#include "runsession.h"
#include "undoflow.h"
#include "workbooklayout.h"

#include <QPushButton>

// The window's runs: started from its buttons, shown as they tell.

void ImportWindow::cmdImportTest_Click()
{
    startRun(false);
}

void ImportWindow::cmdImportStarten_Click()
{
    startRun(true);
}

void ImportWindow::cmdBeenden_Click()
{
    if (isRunning())
        m_session->askToCancel(false);
    else
        close();
}

void ImportWindow::cmdImportZuruecknehmen_Click()
{
    if (!isRunning())
        m_undo->begin(m_base ? m_base->connectedLocation() : std::nullopt);
}

void ImportWindow::startRun(bool import)
{
    startJob(import ? m_runs.import : m_runs.check, import, import ? m_cmdImportStarten : m_cmdImportTest);
}

void ImportWindow::startJob(std::function<bool(RunHost &)> run, bool import, QPushButton *starter)
{
    if (isRunning())
        return;
    // A note on the layout is no question: it is shown with the run's summary.
    // The run's thread writes it before the run and the window reads it after
    // the thread has ended.
    auto note = std::make_shared<QString>();
    m_layoutNote = note;
    auto noting = [run = std::move(run), kind = m_runs.kind, note](RunHost &host) {
        *note = examineLayout(host.windowState().workbookPath, kind).note;
        return run(host);
    };
    RunJob job{.import = import, .run = std::move(noting), .kind = m_runs.kind, .place = objectName(), .state = m_state,
               .database = {}, .logSoFar = m_txt1Edit->logText()};
    // The run opens a connection of its own, in its own thread.
    job.state.connection.reset();
    if (m_base)
        job.database = m_base->connectedLocation();
    job.state.database = job.database; // an import's undo data names it
    // A taking back reads no workbook: the session asks nothing about one.
    const bool undo = starter == m_cmdUndo;
    if (undo)
        job.state.workbookPath.clear();
    m_display->begin(undo ? QStringLiteral("Datensatz %v von %m") : QStringLiteral("Zeile %v von %m"));
    m_session->start(std::move(job), starter);
}

void ImportWindow::showRunOutput(RunOutput *output)
{
    if (output->importEnabled) {
        m_importEnabled = *output->importEnabled;
        updateButtons();
    }
    m_display->show(*output);
}
