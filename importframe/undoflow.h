#pragma once

#include "orbebase.h"
#include "undorun.h"

#include <functional>
#include <memory>
#include <optional>

class QWidget;

// "Import zurücknehmen…" of an import window: the import's log file chosen,
// its undo data read, a question when they were made on another database,
// a preview run that shows in the log box what will be done for each record,
// the question "Import vom … zurücknehmen?" (No preselected), then the
// taking back. The runs go beside the window as its other runs do.
class UndoFlow
{
public:
    // Starts a run beside the window.
    using StartRun = std::function<void(std::function<bool(RunHost &)> run)>;

    UndoFlow(QWidget *window, StartRun start);

    // The button; database is where the window's runs go.
    void begin(const std::optional<DatabaseLocation> &database);
    // After each run of the window has ended: after the preview, asks and
    // takes back.
    void runEnded();

private:
    struct Plan
    {
        UndoData data;
        QString logFile;
        UndoOutcome outcome; // written by a run, read once it has ended
    };
    enum class Stage { None, Preview, TakingBack };

    QWidget *const m_window;
    const StartRun m_start;
    Stage m_stage = Stage::None;
    std::shared_ptr<Plan> m_plan;
};
