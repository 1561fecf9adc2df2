#include "batch.h"

#include "consolerunhost.h"
#include "consoletext.h"
#include "conversions.h"
#include "cooperativeruns.h"
#include "districtruns.h"
#include "failure.h"
#include "orbebase.h"
#include "orbeconnection.h"
#include "orbeerrorreport.h"
#include "orbetools.h"
#include "platform.h"
#include "undorun.h"
#include "workbookchoice.h"
#include "workbooklayout.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

namespace {

// The error report as one line: the message box's text, its line breaks
// (those of a database's description included) joined. A line break in the
// workbook's name shows as in the log.
QString reportLine(const ErrorReportEntry &entry, const QString &workbook)
{
    static const QRegularExpression lineBreaks(QStringLiteral("\\s*[\\r\\n]+\\s*"));
    QString text = entry.messageText().trimmed();
    if (!workbook.isEmpty())
        text.replace(workbook, singleLine(workbook));
    return text.replace(lineBreaks, QStringLiteral("; "));
}

// Shows every error report as a line of the host's messages while it lives.
class ReportsToHost
{
public:
    explicit ReportsToHost(ConsoleRunHost &host)
    {
        m_previous = OrbeErrorReport::global().setPresenter([&host](const ErrorReportEntry &entry) {
            host.printMessage(reportLine(entry, host.windowState().workbookPath));
        });
    }
    ~ReportsToHost() { OrbeErrorReport::global().setPresenter(m_previous); }
    ReportsToHost(const ReportsToHost &) = delete;
    ReportsToHost &operator=(const ReportsToHost &) = delete;

private:
    OrbeErrorReport::Presenter m_previous;
};

void print(std::FILE *stream, const QString &text)
{
    writeUtf8(stream, text.toUtf8());
}

} // namespace

namespace {

// Writes what the log stream has not got yet; false, said, when it cannot.
bool logWritten(ConsoleRunHost &host)
{
    if (host.writeLog())
        return true;
    host.printMessage(QStringLiteral("tarvel-batch: Das Protokoll ließ sich nicht auf die Standardausgabe schreiben."));
    return false;
}

// Opens the database of the options for the host's run: Done, or the exit
// status without one.
int openDatabase(const BatchOptions &options, OrbeBase &base, ConsoleRunHost &host)
{
    bool connected = false;
    try {
        connected = options.database ? base.ConnectTo(*options.database) : base.Connect(0);
    } catch (const Failure &failure) {
        host.printMessage(QStringLiteral("Tarvel: keine Datenbankverbindung: ") + failure.description());
        return BatchExit::NoDatabase;
    }
    // A signal before the run begins ends the program without a run, also
    // one that ended the wait for the database.
    if (cancelSignal() != 0)
        return BatchExit::Signalled + cancelSignal();
    // Without a connection the component has written the reason.
    if (!connected)
        return BatchExit::NoDatabase;
    host.windowState().connection = base.Connection();
    host.windowState().database = base.connectedLocation();
    host.windowState().connection->setWaitObserver(host.waitObserver());
    return BatchExit::Done;
}

// The run of a chosen workbook on the database of the options.
int connectAndRun(const BatchOptions &options, ConsoleRunHost &host)
{
    const bool district = options.kind == BatchKind::District;
    OrbeBase base;
    if (const int status = openDatabase(options, base, host); status != BatchExit::Done)
        return status;
    bool completed = false;
    {
        ReportsToHost reports(host);
        if (options.action == BatchAction::Check)
            completed = district ? runDistrictCheck(host) : runCooperativeCheck(host);
        else
            completed = district ? runDistrictImport(host) : runCooperativeImport(host);
    }

    if (!logWritten(host))
        return BatchExit::RunFailed;
    // A failed run's error line says where it ended.
    if (!completed)
        return BatchExit::RunFailed;
    host.writeSummary();
    if (cancelSignal() != 0)
        return BatchExit::Signalled + cancelSignal();
    return host.warned() ? BatchExit::RunFailed : BatchExit::Done;
}

// Takes back the import whose log file the options name, on their database,
// which must be the one the import wrote to.
int undoImport(const BatchOptions &options, std::FILE *out, std::FILE *messages)
{
    const QString logFile = QFileInfo(options.workbook).absoluteFilePath();
    const std::variant<UndoData, QString> read = readUndoData(logFile);
    if (const QString *unreadable = std::get_if<QString>(&read)) {
        print(messages, QStringLiteral("tarvel-batch: %1\n").arg(*unreadable));
        return BatchExit::Usage;
    }
    const UndoData &data = std::get<UndoData>(read);
    const bool district = data.header.kind == WorkbookKind::District;
    ConsoleRunHost host(district ? DistrictWindowName : CooperativeWindowName, out, messages, isTerminal(messages));
    OrbeBase base;
    if (const int status = openDatabase(options, base, host); status != BatchExit::Done)
        return status;
    if (const QString here = singleLine(databaseIdentity(*base.connectedLocation())); here != data.header.database) {
        host.printMessage(QStringLiteral("tarvel-batch: Die Rücknahmedaten stammen von einer anderen Datenbank (%1), "
                                         "nicht von dieser (%2). Es wurde nichts geändert; --database wählt die "
                                         "Datenbank des Imports.").arg(data.header.database, here));
        return BatchExit::Usage;
    }
    UndoOutcome outcome;
    {
        ReportsToHost reports(host);
        outcome = takeBack(host, data, logFile);
    }
    if (!logWritten(host))
        return BatchExit::RunFailed;
    if (!outcome.refusal.isEmpty())
        return BatchExit::Usage;
    if (cancelSignal() != 0)
        return BatchExit::Signalled + cancelSignal();
    return outcome.completed && outcome.left == 0 && !host.warned() ? BatchExit::Done : BatchExit::RunFailed;
}

} // namespace

int runBatch(const QList<QByteArray> &nativeArguments, std::FILE *out, std::FILE *messages)
{
    QStringList arguments;
    for (const QByteArray &argument : nativeArguments)
        arguments << argumentText(argument);
    QString error;
    const std::optional<BatchOptions> options = parseBatchArguments(arguments, &error);
    if (!options) {
        print(messages, QStringLiteral("tarvel-batch: %1\n\n").arg(error) + batchUsage());
        return BatchExit::Usage;
    }
    if (options->help) {
        print(out, batchHelp());
        return BatchExit::Done;
    }
    if (options->action == BatchAction::Undo)
        return undoImport(*options, out, messages);
    if (options->action == BatchAction::Database)
        return showDatabase(*options, out, messages);

    const bool district = options->kind == BatchKind::District;
    ConsoleRunHost host(district ? DistrictWindowName : CooperativeWindowName, out, messages,
                        isTerminal(messages));
    // The path stands where the file dialog's answer would: absolute.
    const QString workbook = QFileInfo(options->workbook).absoluteFilePath();
    // A name that Qt cannot take as text (the file dialog never gives one) is
    // reached through links to the workbook and its folder, and shown as far as it reads.
    const WorkbookLinks links(nativeArguments.value(arguments.lastIndexOf(options->workbook)), options->workbook);
    const bool linked = !links.file().isEmpty();
    const QString usable = linked ? links.file() : workbook;
    if (linked) {
        host.showNamesAs(links.file(), singleLine(workbook));
        host.showNamesAs(links.folder(), singleLine(OrbeTools::splitPath(workbook).folder));
    }
    if (!chooseWorkbook(host.windowState(), usable)) {
        host.printMessage(WorkbookRejectedText + QStringLiteral(": ") + QDir::toNativeSeparators(workbook));
        return BatchExit::Usage;
    }
    if (linked)
        host.windowState().workbookFolder = links.folder();

    // A workbook of the other kind would write other districts' records, one
    // read askew (data in row 1, a title row) wrong values. Without a data
    // row an import is an empty one.
    const LayoutFinding layout = examineLayout(usable, district ? WorkbookKind::District : WorkbookKind::Cooperative);
    for (const QString &said : {layout.notice, layout.note}) {
        if (!said.isEmpty())
            host.printMessage(said);
    }
    using Verdict = LayoutFinding::Verdict;
    if (layout.verdict != Verdict::Fits && layout.verdict != Verdict::NoDataRow && options->action == BatchAction::Import
        && !options->ignoreLayout) {
        host.printMessage(QStringLiteral("tarvel-batch: Es wurde nichts importiert; mit --ignore-layout wird sie "
                                         "trotzdem importiert."));
        return BatchExit::Usage;
    }
    return connectAndRun(*options, host);
}
