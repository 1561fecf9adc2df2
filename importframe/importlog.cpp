#include "importlog.h"

#include "conversions.h"
#include "failure.h"
#include "runhost.h"

#include <QDir>

void checkLogBound(RunHost &host, int row)
{
    if (host.logText().size() > LogLimit) {
        throw Failure(ErrorNumber::OutOfStringSpace, ErrorSource::Tarvel,
                      QStringLiteral("Das Protokoll wird zu groß: mit Zeile %1 hält es mehr als 64 MB Text. Die "
                                     "Zellen der Arbeitsmappe sind zu lang. Der Lauf endet bei dieser Zeile.")
                          .arg(row));
    }
}

bool stopAfterRow(RunHost &host, RunSummary &summary, int row)
{
    checkLogBound(host, row);
    if (!host.cancelRequested())
        return false;
    noteCancel(host, summary, row);
    return true;
}

void noteCancel(RunHost &host, RunSummary &summary, int row)
{
    summary.cancelledAfterRow = row;
    if (summary.import)
        host.appendLog(CRLF + QStringLiteral("Import abgebrochen nach Zeile %1").arg(row) + CRLF);
}

void ImportLog::start()
{
    const QDateTime started = QDateTime::currentDateTime();
    m_host.clearLog();
    m_host.appendLog(QStringLiteral("Protokoll für: Forstliches Tarvel") + CRLF);
    m_host.appendLog(dateTimeText(started) + CRLF);
    m_host.appendLog(QStringLiteral("Quelle: ") + singleLine(m_host.windowState().workbookPath) + CRLF);
    // The regional date may hold "/" (12/7/2026): made a valid name here, so
    // that the file lands in the workbook's folder and nowhere below it.
    m_path = m_host.windowState().workbookFolder
             + OrbeTools::validFileName(QStringLiteral("ProtokollTarvel") + dateTimeText(started));
    std::optional<QString> failure = m_file.create(m_path);
    const QString what = failure ? QStringLiteral("Die Protokolldatei lässt") : QStringLiteral("Die Rücknahmedaten lassen");
    if (!failure)
        failure = m_undo.start(m_path, m_kind, started, m_host.windowState());
    if (!failure)
        m_batch.start(m_undo);
    if (failure) {
        throw Failure(ErrorNumber::PathFileAccess, ErrorSource::Tarvel,
                      // The file and why on a line of their own: a path cannot wrap well after "(".
                      QStringLiteral("%1 sich neben der Arbeitsmappe nicht anlegen; es wurde nichts importiert. "
                                     "Bitte kopieren Sie die Arbeitsmappe in einen eigenen Ordner, in dem Sie Dateien "
                                     "anlegen dürfen, und importieren Sie sie von dort.\n%2")
                          .arg(what, singleLine(*failure)));
    }
}

void ImportLog::writeAfterFailure() noexcept
{
    m_batch.stop();
    m_undo.stop();
    if (!m_file.isCreated())
        return;
    try {
        const std::optional<QString> failure = m_file.write(m_host.logText());
        m_host.showLogFileAfterFailure(m_path, failure.value_or(QString()));
    } catch (...) {
        // Out of memory once more: the error report still follows.
    }
}

void ImportLog::finish(const RunSummary &summary)
{
    m_batch.stop();
    m_undo.stop();
    m_host.showSummary(summary);
    if (const std::optional<QString> failure = m_file.write(m_host.logText())) {
        m_host.showMessage(QStringLiteral("Fehler beim Schreiben der Protokolldatei") + CRLF + *failure,
                           QStringLiteral("Tarvel"), MessageIcon::Exclamation);
        return;
    }
    const QString headline = summary.cancelledAfterRow > 0
                                 ? QStringLiteral("Import abgebrochen nach Zeile %1").arg(summary.cancelledAfterRow)
                                 : QStringLiteral("Import beendet");
    m_host.showImportFinished(headline + CRLF + QStringLiteral("Protokolldatei: ") + CRLF
                                  + QDir::toNativeSeparators(m_path) + CRLF + CRLF
                                  + summaryText(summary).replace(u'\n', CRLF),
                              m_path);
}
