#include "undorun.h"

#include "conversions.h"
#include "failure.h"
#include "failuretrap.h"
#include "importlog.h"
#include "orberecordset.h"
#include "runhost.h"
#include "undocheck.h"

#include <QDir>

namespace {

RecordValues valuesOf(OrbeRecordset &record)
{
    if (!record.HasCurrent())
        return std::nullopt;
    QHash<QString, QString> values;
    OrbeFields fields = record.Fields();
    for (int i = 0; i < fields.Count(); ++i)
        values.insert(fields.Item(i).Name().toLower(), undoValueText(fields.Item(i).Value()));
    return values;
}

// The log's head: what it is (never an import's "Protokoll für: …"), when,
// the import's log file, and what the undo data says of the import.
QString header(const QString &title, const UndoData &data, const QString &logFilePath)
{
    QString text = title + CRLF + dateTimeText(QDateTime::currentDateTime()) + CRLF + QStringLiteral("Import: ")
                   + singleLine(QDir::toNativeSeparators(logFilePath)) + CRLF
                   + QStringLiteral("Import vom %1 (%2) auf %3")
                         .arg(dateTimeText(data.header.started), undoKindName(data.header.kind), data.header.database)
                   + CRLF + CRLF;
    if (!data.incompleteLast.isEmpty())
        text += data.incompleteLast + QStringLiteral(" ist unvollständig (der Import endete beim Speichern) und wird "
                                                     "übergangen") + CRLF;
    return text;
}

QString recordLine(const UndoEntry &entry, const UndoJudgement &judgement, bool preview)
{
    const QString record = QStringLiteral("Datensatz %1").arg(entry.key);
    const QString notTaken = preview ? QStringLiteral("wird nicht zurückgenommen: ") : QStringLiteral("nicht zurückgenommen: ");
    QString text;
    switch (judgement.verdict) {
    case UndoVerdict::TakeBack:
        text = (preview ? QStringLiteral("wird zurückgenommen: ") : QStringLiteral("zurückgenommen: ")) + record;
        if (entry.added)
            text += preview ? QStringLiteral(" wird gelöscht") : QStringLiteral(" gelöscht");
        for (const UndoColumn &column : entry.columns) {
            if (!entry.added)
                text += QStringLiteral(", %1 %2 → %3").arg(column.name, shownUndoValue(column.after), shownUndoValue(column.before));
        }
        break;
    case UndoVerdict::AlreadyBack:
        text = entry.confirmed ? QStringLiteral("bereits zurückgenommen: ") + record
                               : QStringLiteral("bereits wie vor dem Import: ") + record
                                     + QStringLiteral(" (sein Speichern war nicht bestätigt)");
        break;
    case UndoVerdict::Unchanged:
        text = QStringLiteral("bereits zurückgenommen: ") + record + QStringLiteral(", beim Import unverändert");
        break;
    case UndoVerdict::ChangedSince:
        text = QStringLiteral("seit dem Import geändert, ") + notTaken + record + QStringLiteral(", ") + judgement.difference;
        break;
    case UndoVerdict::Gone:
        text = QStringLiteral("seit dem Import gelöscht, ") + notTaken + record;
        break;
    }
    return QStringLiteral("(Zeile %1) ").arg(entry.row) + text + CRLF;
}

void count(UndoOutcome &outcome, UndoVerdict verdict)
{
    if (verdict == UndoVerdict::TakeBack)
        ++outcome.takenBack;
    else if (verdict == UndoVerdict::AlreadyBack || verdict == UndoVerdict::Unchanged)
        ++outcome.alreadyBack;
    else
        ++outcome.left;
}

QString countsText(const UndoOutcome &outcome, bool preview)
{
    return (preview ? QStringLiteral("Zurückzunehmen: %1, bereits zurückgenommen: %2, nicht zurückzunehmen: %3")
                    : QStringLiteral("Zurückgenommen: %1, bereits zurückgenommen: %2, nicht zurückgenommen: %3"))
        .arg(outcome.takenBack)
        .arg(outcome.alreadyBack)
        .arg(outcome.left);
}

// Data the check refuses is named in a message; true then.
bool refused(RunHost &host, const UndoCheck &check, UndoOutcome &outcome)
{
    if (check.refusal.isEmpty())
        return false;
    outcome.refusal = check.refusal;
    host.showMessage(check.refusal, QStringLiteral("Tarvel"), MessageIcon::Exclamation);
    return true;
}

// One record in its own transaction; its log line.
QString takeBackOne(OrbeConnection &connection, const QString &statement, const QList<UndoEntry> &entries,
                    qsizetype index, UndoOutcome &outcome)
{
    const UndoEntry &entry = entries[index];
    // Editable, the recordset takes the import's lock before it reads: what
    // it read still holds when it writes, also against another taking back.
    const std::unique_ptr<OrbeRecordset> record = connection.OpenRecordset(statement, OpenMode::Editable, {entry.key});
    const UndoJudgement judgement = judgeUndo(entries, index, valuesOf(*record));
    if (judgement.verdict == UndoVerdict::TakeBack) {
        try {
            if (entry.added) {
                record->Delete();
            } else {
                record->Edit();
                for (const UndoColumn &column : entry.columns)
                    record->Fields().Item(column.name).setValue(undoValue(column.before).value_or(QVariant()));
                record->Update();
            }
        } catch (const Failure &failure) {
            if (failure.number() == ErrorNumber::Cancelled)
                throw;
            ++outcome.left;
            return QStringLiteral("(Zeile %1) nicht zurückgenommen: Datensatz %2: %3")
                       .arg(entry.row)
                       .arg(entry.key)
                       .arg(singleLine(failure.description()))
                   + CRLF;
        }
    }
    count(outcome, judgement.verdict);
    return recordLine(entry, judgement, false);
}

} // namespace

UndoOutcome previewUndo(RunHost &host, const UndoData &data, const QString &logFilePath)
{
    UndoOutcome outcome;
    runTrapped(host.placeName(), UndoProcedure, [&](ErrorLine &at) {
        OrbeConnection &connection = *host.windowState().connection;
        at(10); const UndoCheck check = checkUndoData(connection, data, logFilePath);
                if (refused(host, check, outcome)) return;
        at(20); host.clearLog();
                host.appendLog(header(QStringLiteral("Vorschau der Rücknahme eines Imports, noch ist nichts geändert"), data,
                                      logFilePath));
        // Newest first, against the records as the entries after each leave them.
        QHash<qint64, RecordValues> records;
        at(30); for (qsizetype i = data.entries.size() - 1; i >= 0; --i) {
            const UndoEntry &entry = data.entries[i];
            if (!records.contains(entry.key))
                records.insert(entry.key, valuesOf(*connection.OpenRecordset(check.statement, OpenMode::Lookup, {entry.key})));
            RecordValues &record = records[entry.key];
            const UndoJudgement judgement = judgeUndo(data.entries, i, record);
            count(outcome, judgement.verdict);
            if (judgement.verdict == UndoVerdict::TakeBack)
                record = afterUndo(entry, record);
            host.appendLog(recordLine(entry, judgement, true));
            if (host.cancelRequested())
                return;
        }
        at(40); host.appendLog(CRLF + countsText(outcome, true) + CRLF);
        outcome.completed = true;
    });
    return outcome;
}

UndoOutcome takeBack(RunHost &host, const UndoData &data, const QString &logFilePath)
{
    UndoOutcome outcome;
    OrbeTextFile file;
    QString path;
    int row = 0;
    const auto afterFailure = [&] {
        if (file.isCreated())
            host.showLogFileAfterFailure(path, file.write(host.logText()).value_or(QString()));
    };
    runTrapped(host.placeName(), UndoProcedure, row, [&](ErrorLine &at) {
        OrbeConnection &connection = *host.windowState().connection;
        at(10); const UndoCheck check = checkUndoData(connection, data, logFilePath);
                if (refused(host, check, outcome)) return;
        at(20); host.clearLog(); host.appendLog(header(QStringLiteral("Rücknahme eines Imports: Forstliches Tarvel"), data, logFilePath));
        // Named so that it is never taken for an import's log.
        at(30); path = OrbeTools::splitPath(logFilePath).folder
                       + OrbeTools::validFileName(QStringLiteral("RücknahmeTarvel") + dateTimeText(QDateTime::currentDateTime()));
                if (const std::optional<QString> failure = file.create(path))
                    throw Failure(ErrorNumber::PathFileAccess, ErrorSource::Tarvel,
                                  QStringLiteral("Das Protokoll der Rücknahme lässt sich neben dem des Imports nicht anlegen (%1). "
                                                 "Es wurde nichts zurückgenommen. Bitte kopieren Sie die Protokolldatei und die "
                                                 "Rücknahmedaten daneben in einen eigenen Ordner und nehmen Sie den Import von "
                                                 "dort zurück.").arg(singleLine(*failure)));
        at(40); host.setProgressMaximum(float(data.entries.size()));
        bool cancelled = false;
        at(50); for (qsizetype i = data.entries.size() - 1; i >= 0 && !(cancelled = host.cancelRequested()); --i) {
            row = data.entries[i].row;
            host.setProgressValue(float(data.entries.size() - i));
            try {
                host.appendLog(takeBackOne(connection, check.statement, data.entries, i, outcome));
            } catch (const Failure &failure) {
                if (failure.number() != ErrorNumber::Cancelled)
                    throw;
                cancelled = true;
                break;
            }
        }
        at(60); host.setProgressValue(0);
                host.appendLog(CRLF + (cancelled ? QStringLiteral("Rücknahme abgebrochen") + CRLF : QString())
                               + countsText(outcome, false) + CRLF);
        at(70); if (const std::optional<QString> failure = file.write(host.logText())) {
                    host.showMessage(QStringLiteral("Fehler beim Schreiben der Protokolldatei") + CRLF + *failure,
                                     QStringLiteral("Tarvel"), MessageIcon::Exclamation);
                } else {
                    const QString headline = cancelled               ? QStringLiteral("Rücknahme abgebrochen")
                                             : outcome.left > 0      ? QStringLiteral("Import nicht vollständig zurückgenommen")
                                             : outcome.takenBack > 0 ? QStringLiteral("Import zurückgenommen")
                                                                     : QStringLiteral("Der Import war bereits zurückgenommen");
                    host.showImportFinished(headline + CRLF + QStringLiteral("Protokolldatei: ") + CRLF
                                                + QDir::toNativeSeparators(path) + CRLF + CRLF + countsText(outcome, false),
                                            path);
                }
        outcome.completed = !cancelled;
    }, afterFailure);
    return outcome;
}
