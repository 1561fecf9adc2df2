#include "importlog.h"

#include "conversions.h"
#include "orbetools.h"
#include "runhost.h"

void startImportLog(RunHost &host)
{
    host.clearLog();
    host.appendLog(QStringLiteral("Protokoll für: Forstliches Tarvel") + CRLF);
    host.appendLog(dateTimeText(QDateTime::currentDateTime()) + CRLF);
    host.appendLog(QStringLiteral("Quelle: ") + host.windowState().workbookPath + CRLF);
}

void finishImportLog(RunHost &host)
{
    // The regional date may hold "/" (12/7/2026): made a valid name here, so
    // that the file lands in the workbook's folder and nowhere below it.
    QString path = host.windowState().workbookFolder
                   + OrbeTools::ValidFileName(QStringLiteral("ProtokollTarvel") + dateTimeText(QDateTime::currentDateTime()));
    if (!OrbeTools::WriteTextFile(path, host.logText())) {
        host.showMessage(QStringLiteral("Fehler beim Schreiben der Protokolldatei"), QStringLiteral("Tarvel"),
                         MessageIcon::Exclamation);
        return;
    }
    host.showMessage(QStringLiteral("Import beendet") + CRLF + QStringLiteral("Protokolldatei: ") + CRLF + path,
                     QStringLiteral("Tarvel"), MessageIcon::Information);
}
