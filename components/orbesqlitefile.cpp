#include "orbeinternal.h"

#include <QFile>
#include <QFileInfo>

// What only the SQLite file under a connection can tell.

namespace orbe {

QString sqliteSideFilesCause(const QString &databaseFile)
{
    QStringList foreign;
    QString owner;
    for (const char *suffix : {"-wal", "-shm"}) {
        const QFileInfo side(databaseFile + QLatin1String(suffix));
        if (side.exists() && !side.isWritable()) {
            foreign << quoted(side.fileName());
            owner = side.owner();
        }
    }
    if (foreign.isEmpty())
        return {};
    return QStringLiteral("%1 neben der Datenbank gehören dem Benutzer %2, und Tarvel darf sie nicht beschreiben. "
                          "Sie bleiben zurück, wenn ein Benutzer ohne Schreibrecht auf die Datenbankdatei sie geöffnet "
                          "hatte. Abhilfe: die Datenbankdatei für alle Benutzer beschreibbar machen, die sie öffnen "
                          "(dann räumt jeder selbst auf), oder die Dateien löschen, wenn niemand die Datenbank benutzt")
        .arg(foreign.join(QStringLiteral(" und ")), quoted(owner.isEmpty() ? QStringLiteral("?") : owner));
}

QString sqliteWalFolderCause(const QString &databaseFile, const QSqlError &error)
{
    // Opening fails where SQLite cannot make its "-shm" file: read-only
    // (an extended SQLITE_READONLY) for a user, SQLITE_CANTOPEN for root.
    const int code = error.nativeErrorCode().toInt();
    if ((code & 0xff) != 8 && code != 14)
        return {};
    QFile file(databaseFile);
    // The header's read and write versions are 2 for a database in WAL mode.
    if (!file.open(QIODevice::ReadOnly) || file.read(20).mid(18) != QByteArray("\x02\x02", 2)
        || QFileInfo::exists(databaseFile + QStringLiteral("-shm")))
        return {};
    return QStringLiteral("Die Datenbank ist im WAL-Modus, und in ihrem Ordner darf Tarvel keine Dateien anlegen: "
                          "SQLite braucht dort neben ihr die Dateien „-wal“ und „-shm“, solange niemand mit "
                          "Schreibrecht sie geöffnet hat. Abhilfe: Schreibrechte für den Ordner, oder die Datenbank "
                          "in einen beschreibbaren Ordner kopieren");
}

} // namespace orbe
