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

std::optional<BatchOptions> parseBatchArguments(const QStringList &arguments, QString *error)
{
    auto fail = [error](const QString &reason) -> std::optional<BatchOptions> {
        if (error)
            *error = reason;
        return std::nullopt;
    };
    BatchOptions options;
    std::optional<BatchKind> kind;
    QStringList positional;
    bool optionsEnded = false;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString &argument = arguments[i];
        if (optionsEnded || argument == QLatin1String("-") || !argument.startsWith(u'-')) {
            positional << argument;
        } else if (argument == QLatin1String("--")) {
            optionsEnded = true;
        } else if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            options.help = true;
            return options;
        } else if (argument == QLatin1String("--district") || argument == QLatin1String("--cooperative")) {
            const BatchKind chosen =
                argument == QLatin1String("--district") ? BatchKind::District : BatchKind::Cooperative;
            if (kind && *kind != chosen)
                return fail(QStringLiteral("--district und --cooperative schließen einander aus."));
            kind = chosen;
        } else if (argument == QLatin1String("--ignore-layout")) {
            options.ignoreLayout = true;
        } else if (const QString name = argument.section(u'=', 0, 0);
                   name == QLatin1String("--database") || name == QLatin1String("--setting")) {
            std::optional<QString> &value = name == QLatin1String("--database") ? options.database : options.setting;
            if (value)
                return fail(QStringLiteral("%1 ist mehr als einmal angegeben.").arg(name));
            if (argument.contains(u'='))
                value = argument.mid(argument.indexOf(u'=') + 1);
            else if (i + 1 < arguments.size())
                value = arguments[++i];
            else
                return fail(QStringLiteral("Nach %1 fehlt die Datenbank.").arg(name));
        } else {
            return fail(QStringLiteral("Unbekannte Option „%1“.").arg(argument));
        }
    }
    if (positional.isEmpty())
        return fail(QStringLiteral("Es fehlt, was zu tun ist: check, import, undo oder database."));
    if (positional[0] == QLatin1String("check"))
        options.action = BatchAction::Check;
    else if (positional[0] == QLatin1String("import"))
        options.action = BatchAction::Import;
    else if (positional[0] == QLatin1String("undo"))
        options.action = BatchAction::Undo;
    else if (positional[0] == QLatin1String("database"))
        options.action = BatchAction::Database;
    else
        return fail(QStringLiteral("Unbekannter Auftrag „%1“ (check, import, undo oder database).").arg(positional[0]));
    if (options.action == BatchAction::Database) {
        if (kind || options.ignoreLayout || positional.size() > 1 || (options.database && options.setting))
            return fail(QStringLiteral("database nimmt nur --database oder --setting an."));
        return options;
    }
    if (options.setting)
        return fail(QStringLiteral("--setting gehört zu database."));
    const bool undo = options.action == BatchAction::Undo;
    if (undo && (kind || options.ignoreLayout))
        return fail(QStringLiteral("undo nimmt weder --district, --cooperative noch --ignore-layout: die Art des "
                                   "Imports steht in seinen Rücknahmedaten."));
    if (!kind && !undo)
        return fail(QStringLiteral("Es fehlt --district oder --cooperative."));
    options.kind = kind.value_or(BatchKind::District);
    const QString file = undo ? QStringLiteral("die Protokolldatei des Imports") : QStringLiteral("die Arbeitsmappe");
    if (positional.size() < 2)
        return fail(QStringLiteral("Es fehlt %1.").arg(file));
    if (positional.size() > 2)
        return fail(QStringLiteral("Nur %1 je Aufruf: „%2“ ist zu viel.").arg(undo ? QStringLiteral("eine Protokolldatei")
                                                                                  : QStringLiteral("eine Arbeitsmappe"),
                                                                             positional[2]));
    options.workbook = positional[1];
    return options;
}

QString batchUsage()
{
    return QStringLiteral("Aufruf:\n"
                          "  tarvel-batch check  --district    [--database DB] ARBEITSMAPPE\n"
                          "  tarvel-batch import --district    [--database DB] [--ignore-layout] ARBEITSMAPPE\n"
                          "  tarvel-batch check  --cooperative [--database DB] ARBEITSMAPPE\n"
                          "  tarvel-batch import --cooperative [--database DB] [--ignore-layout] ARBEITSMAPPE\n"
                          "  tarvel-batch undo [--database DB] PROTOKOLLDATEI\n"
                          "  tarvel-batch database [--database DB | --setting DB]\n"
                          "  tarvel-batch --help\n");
}

QString batchHelp()
{
    return QStringLiteral(
               "Führt die Läufe der Importfenster ohne Fenster aus, für Skripte und geplante Aufträge.\n\n")
           + batchUsage()
           + QStringLiteral(
               "\n"
               "  check          wie „Test“ im Fenster: zeigt zu jeder Zeile der Arbeitsmappe, was die\n"
               "                 Datenbank dazu kennt (den Jagdbezirk bzw. die Hegegemeinschaft mit ihren\n"
               "                 Gutachten), und schreibt nichts.\n"
               "  import         wie „Import Starten“: fügt für jede gefundene Zeile das Gutachten (Rehwild)\n"
               "                 hinzu oder aktualisiert es und legt das Protokoll als\n"
               "                 ProtokollTarvel<Datum Zeit>.txt neben die Arbeitsmappe. Anders als im\n"
               "                 Fenster ist kein check vorher nötig; er zeigt aber vorab, welche Zeilen\n"
               "                 die Datenbank findet.\n"
               "  undo           wie „Import zurücknehmen…“: nimmt den Import zurück, dessen Protokolldatei\n"
               "                 genannt ist, mit den Rücknahmedaten daneben (.undo statt .txt): löscht,\n"
               "                 was er hinzugefügt hat, und gibt, was er aktualisiert hat, die alten Werte\n"
               "                 zurück; was seitdem geändert wurde, bleibt und wird genannt. Das braucht\n"
               "                 das Recht zu löschen. Protokoll als RücknahmeTarvel<Datum Zeit>.txt daneben.\n"
               "  database       nennt die Datenbank, die Tarvel öffnet (ohne Passwort), und woher die\n"
               "                 Angabe stammt: Aufruf, TARVEL_DATABASE, Rechnereinstellung (festgelegt),\n"
               "                 Benutzereinstellung, Rechnereinstellung oder eingebaute Datenbank, mit der\n"
               "                 Datei bzw. dem Registrierungsschlüssel; dann öffnet es sie. Status 0, wenn\n"
               "                 sie sich öffnen lässt und zu Tarvel passt, sonst 3 mit dem Grund.\n"
               "  --setting DB   database prüft nur, ob DB als Einstellung taugen würde (kein Passwort,\n"
               "                 lesbar), ohne die Datenbank zu öffnen: Status 0, sonst 2 mit dem Grund.\n"
               "                 So prüft der Windows-Installer seine Eigenschaft DATENBANK.\n"
               "  --district     Import Jagdbezirk: eine Zeile je Jagdbezirk (Lfdnr).\n"
               "  --cooperative  Import Hegegemeinschaft: eine Zeile je Hegegemeinschaft (Hgnr).\n"
               "  --database DB  eine SQLite-Datei (auch sqlite:PFAD), postgresql://… oder odbc: mit einer\n"
               "                 ODBC-Verbindungszeichenfolge (odbc:DSN=Jagdverwaltung); ohne diese Angabe\n"
               "                 gilt TARVEL_DATABASE, dann die Einstellung Datenbank/Ort (die festgelegte\n"
               "                 des Rechners, die des Benutzers, die des Rechners), ohne alles die\n"
               "                 eingebaute Standarddatenbank.\n"
               "                 Ein Passwort darin sieht jeder Benutzer des Rechners in der Prozessliste:\n"
               "                 es gehört in die Passwortdatei ~/.pgpass (oder PGPASSFILE) bzw. in die\n"
               "                 ODBC-Datenquelle.\n"
               "  --ignore-layout\n"
               "                 import nimmt auch eine Arbeitsmappe, deren Aufbau nicht zur Art passt:\n"
               "                 Spaltennamen oder Datenzeilen (Zeilen 2 bis 11) der anderen Art, Daten\n"
               "                 schon in Zeile 1, eine Titelzeile über den Spaltennamen oder keine\n"
               "                 Datenzeile der Art. Ohne diese Angabe lehnt import sie ab; check nennt\n"
               "                 den Grund und läuft. Spaltennamen einer Hegegemeinschaft, die nur\n"
               "                 abweichen (7 der 9 an ihrem Platz, Hgnr darunter), und eine Arbeitsmappe\n"
               "                 ohne Datenzeile sind nur ein Hinweis.\n"
               "\n"
               "Standardausgabe: das Protokoll des Laufs, wie es im Fenster stünde (UTF-8, CR LF),\n"
               "jede Zeile der Arbeitsmappe, sobald sie gespeichert ist.\n"
               "Standardfehler: Meldungen, Fehler, die Zählung der Zeilen am Ende, der Name der\n"
               "Protokolldatei und, an einem Terminal, der Fortschritt.\n"
               "Exit-Status: 0 fertig (undo: jeder Datensatz wie vor dem Import); 1 Fehler im Lauf\n"
               "(auch eine beschädigte Arbeitsmappe), Protokolldatei bzw. Standardausgabe nicht\n"
               "geschrieben, oder undo ließ einen Datensatz, wie er ist; 2 falscher Aufruf, ein Pfad,\n"
               "der keine lesbare Datei ist, ein import einer Arbeitsmappe, deren Aufbau nicht passt, oder\n"
               "Rücknahmedaten, die fehlen, unbrauchbar sind oder von einer anderen Datenbank stammen;\n"
               "3 keine Datenbank; ")
           + stopHelp();
}

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
