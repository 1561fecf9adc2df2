#include "runhost.h"

#include <QStringList>

QString summaryText(const RunSummary &summary)
{
    QStringList lines;
    // The import's closing message says it in its first line.
    if (summary.cancelledAfterRow > 0 && !summary.import)
        lines << QStringLiteral("Test abgebrochen nach Zeile %1").arg(summary.cancelledAfterRow);
    QString counts = QStringLiteral("Gefunden: %1").arg(summary.found);
    if (summary.import)
        counts += QStringLiteral(" (hinzugefügt: %1, aktualisiert: %2)").arg(summary.added).arg(summary.updated);
    counts += QStringLiteral(", nicht gefunden: %1").arg(summary.notFound);
    lines << counts;
    if (summary.firstUnreadRow > 0)
        lines << QStringLiteral("Nicht gelesen ab Zeile %1: %2").arg(summary.firstUnreadRow).arg(summary.unreadReason);
    return lines.join(u'\n');
}

QString waitText(const DatabaseWait &wait, const QString &cancelHint)
{
    if (wait.forLock)
        return QStringLiteral("Warte auf die Datenbank: ein anderes Programm hält sie gesperrt (%1 s) – %2")
            .arg(wait.seconds)
            .arg(cancelHint);
    return QStringLiteral("Warte auf Antwort der Datenbank (%1 s)").arg(wait.seconds);
}
