#include "batch.h"

#include "platform.h"

// The calls tarvel-batch takes, and what it says of them.

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
