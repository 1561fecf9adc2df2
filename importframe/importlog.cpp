#include "importlog.h"

#include "conversions.h"
#include "failure.h"
#include "orbetools.h"
#include "runhost.h"

void startImportLog(RunHost &host)
{
    host.clearLog();
    host.appendLog(QStringLiteral("Protokoll für: Forstliches Tarvel") + CRLF);
    host.appendLog(dateTimeText(QDateTime::currentDateTime()) + CRLF);
    host.appendLog(QStringLiteral("Quelle: ") + singleLine(host.windowState().workbookPath) + CRLF);
}

bool stopAfterRow(RunHost &host, RunSummary &summary, int row)
{
    if (host.logText().size() > LogLimit) {
        throw Failure(ErrorNumber::OutOfStringSpace, ErrorSource::Tarvel,
                      QStringLiteral("Das Protokoll wird zu groß: mit Zeile %1 hält es mehr als 64 MB Text. Die "
                                     "Zellen der Arbeitsmappe sind zu lang. Der Lauf endet bei dieser Zeile.")
                          .arg(row));
    }
    if (!host.cancelRequested())
        return false;
    summary.cancelledAfterRow = row;
    if (summary.import)
        host.appendLog(CRLF + QStringLiteral("Import abgebrochen nach Zeile %1").arg(row) + CRLF);
    return true;
}

void finishImportLog(RunHost &host, const RunSummary &summary)
{
    // The regional date may hold "/" (12/7/2026): made a valid name here, so
    // that the file lands in the workbook's folder and nowhere below it.
    QString path = host.windowState().workbookFolder
                   + OrbeTools::ValidFileName(QStringLiteral("ProtokollTarvel") + dateTimeText(QDateTime::currentDateTime()));
    host.showSummary(summary);
    if (!OrbeTools::WriteTextFile(path, host.logText())) {
        host.showMessage(QStringLiteral("Fehler beim Schreiben der Protokolldatei"), QStringLiteral("Tarvel"),
                         MessageIcon::Exclamation);
        return;
    }
    const QString headline = summary.cancelledAfterRow > 0
                                 ? QStringLiteral("Import abgebrochen nach Zeile %1").arg(summary.cancelledAfterRow)
                                 : QStringLiteral("Import beendet");
    host.showImportFinished(headline + CRLF + QStringLiteral("Protokolldatei: ") + CRLF + path + CRLF + CRLF
                                + summaryText(summary).replace(u'\n', CRLF),
                            path);
}
