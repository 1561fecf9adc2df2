#pragma once

#include "orbebase.h"

#include <QString>

#include <memory>
#include <optional>

class OrbeConnection;

enum class MessageIcon { Exclamation, Information };

// What a run tells at its end besides the log: the rows it counted, whether the
// user cancelled it, and the first filled row below where it stopped, which no
// run takes. Shown in messages, on the progress bar or on standard error, never
// in the log.
struct RunSummary
{
    bool import = false;
    int found = 0;    // rows whose district or cooperative the database knows
    int notFound = 0; // rows it does not know
    int added = 0;    // import: records added ...
    int updated = 0;  // ... and records updated
    int cancelledAfterRow = 0; // the last row handled before a cancel; 0 when not cancelled
    int firstUnreadRow = 0;    // a row below the run's end whose key cell is filled; 0 when none
    QString unreadReason;      // why the run stopped above it, as a German sentence
};

// The summary as German lines for a message or standard error.
QString summaryText(const RunSummary &summary);

// A wait for the database that has gone on longer than a second: for another
// program's lock, or for an answer at all.
struct DatabaseWait
{
    bool forLock = false;
    int seconds = 0;
};
// The wait in German, with how the user ends it (cancelHint).
QString waitText(const DatabaseWait &wait, const QString &cancelHint);

// What an import window keeps for its runs: the connection fetched from the
// database object and where it leads (an import's undo data names it), the
// chosen workbook and the two row counters that the runs keep in the window
// rather than in locals.
struct ImportWindowState
{
    std::shared_ptr<OrbeConnection> connection;
    std::optional<DatabaseLocation> database;
    QString workbookPath;   // as the file dialog returned it
    QString workbookFolder; // up to and including the last separator
    int currentRow = 0;
    int lastRow = 0;
};

// What a run needs from the window it runs in. The import windows implement
// it; so does the headless front end and the tests. The runs know nothing of
// widgets.
class RunHost
{
public:
    virtual ~RunHost() = default;

    virtual ImportWindowState &windowState() = 0;

    // The log (the window's text box). The host keeps the exact text, CR LF
    // line breaks included; appending costs in proportion to the piece.
    virtual void clearLog() = 0;
    virtual void appendLog(const QString &piece) = 0;
    virtual QString logText() const = 0;

    // The progress bar.
    virtual void setProgressMaximum(float maximum) = 0;
    virtual void setProgressValue(float value) = 0;

    // "Import Starten".
    virtual void setImportEnabled(bool enabled) = 0;

    // A modal message with an OK button; returns when it has been closed.
    virtual void showMessage(const QString &text, const QString &title, MessageIcon icon) = 0;

    // The place that failures are reported with (the window's name).
    virtual QString placeName() const = 0;

    // Asked after each row: true stops the run there, the rows before it saved
    // ("Abbrechen" during a run, or a signal to tarvel-batch). A host that
    // cannot be interrupted keeps the default.
    virtual bool cancelRequested() { return false; }

    // Told once when a run has ended normally or by a cancel, before the
    // import's closing message, or by a failure, with the counts so far,
    // before its error report. A host without a place for it keeps the default.
    virtual void showSummary(const RunSummary &summary) { (void)summary; }

    // After an import failed: its log so far went to the file at path, or
    // could not be written there (failure names the file and why). Before the
    // error report. A host without a place for it keeps the default.
    virtual void showLogFileAfterFailure(const QString &path, const QString &failure)
    {
        (void)path;
        (void)failure;
    }

    // Told about once a second while the run waits for the database, from the
    // run's thread or from the one that watches its wait; endWait() once the
    // wait is over. Never into the log. A host without a place for it keeps
    // the default.
    virtual void showWait(const DatabaseWait &wait) { (void)wait; }
    virtual void endWait() {}

    // The import's closing message once its log file is written; a window may
    // offer to open the file or its folder.
    virtual void showImportFinished(const QString &text, const QString &logFilePath)
    {
        (void)logFilePath;
        showMessage(text, QStringLiteral("Tarvel"), MessageIcon::Information);
    }
};
