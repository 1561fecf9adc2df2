#pragma once

#include <QString>

#include <memory>

class OrbeConnection;

enum class MessageIcon { Exclamation, Information };

// What an import window keeps for its runs: the connection fetched from the
// database object, the chosen workbook and the two row counters that the runs
// keep in the window rather than in locals.
struct ImportWindowState
{
    std::shared_ptr<OrbeConnection> connection;
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
};
