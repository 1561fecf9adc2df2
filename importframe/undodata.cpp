#include "undodata.h"

#include "conversions.h"
#include "importlog.h"
#include "orbebase.h"
#include "orberecordset.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>

#include <limits>

namespace {

bool isPlainName(const QString &name)
{
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z_][A-Za-z0-9_]*$"));
    return plain.match(name).hasMatch();
}

QString quotedText(const QString &text)
{
    QString result(u'"');
    for (const QChar c : text) {
        const char16_t code = c.unicode();
        if (code == u'"' || code == u'\\')
            result += u'\\' + QString(c);
        // Nothing in a value may end the line or hide in a viewer.
        else if (code < 0x20 || code == 0x7f || code == 0x85 || code == 0x2028 || code == 0x2029)
            result += QStringLiteral("\\u%1").arg(int(code), 4, 16, QLatin1Char('0'));
        else
            result += c;
    }
    return result + u'"';
}

QString columnName(const QString &name)
{
    return isPlainName(name) ? name : quotedText(name);
}

} // namespace

QString undoValueText(const QVariant &value)
{
    if (!value.isValid() || value.isNull())
        return QStringLiteral("NULL");
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::UInt:
    case QMetaType::LongLong:
    case QMetaType::Short:
    case QMetaType::UShort:
    case QMetaType::Long:
    case QMetaType::ULong:
        return QString::number(value.toLongLong());
    case QMetaType::ULongLong:
        if (value.toULongLong() <= quint64(std::numeric_limits<qint64>::max()))
            return QString::number(value.toLongLong());
        break;
    default:
        break;
    }
    return quotedText(valueText(value));
}

std::optional<QVariant> undoValue(const QString &text)
{
    if (text == QLatin1String("NULL"))
        return QVariant();
    bool number = false;
    const qlonglong value = text.toLongLong(&number);
    if (!number)
        return std::nullopt;
    return QVariant(value);
}

QString shownUndoValue(const QString &text)
{
    return text == QLatin1String("NULL") ? QStringLiteral("leer") : text;
}

QString undoKindName(WorkbookKind kind)
{
    return kind == WorkbookKind::District ? QStringLiteral("Jagdbezirk") : QStringLiteral("Hegegemeinschaft");
}

QString undoDataPath(const QString &logFilePath)
{
    if (logFilePath.endsWith(QLatin1String(".undo"), Qt::CaseInsensitive))
        return logFilePath;
    const QString base = logFilePath.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive) ? logFilePath.chopped(4)
                                                                                             : logFilePath;
    return base + QStringLiteral(".undo");
}

QString undoHeaderText(const UndoHeader &header)
{
    return UndoDataHeading + CRLF + QStringLiteral("Art: ")
           + undoKindName(header.kind) + CRLF + QStringLiteral("Datenbank: ") + singleLine(header.database) + CRLF
           + QStringLiteral("Protokolldatei: ") + singleLine(header.logFile) + CRLF + QStringLiteral("Beginn: ")
           + header.started.toString(Qt::ISODate) + CRLF;
}

QString undoEntryText(const UndoEntry &entry)
{
    QString text = CRLF + QStringLiteral("Eintrag %1: Zeile %2 %3, %4 %5")
                              .arg(entry.number)
                              .arg(entry.row)
                              .arg(entry.added ? QStringLiteral("hinzugefügt") : QStringLiteral("aktualisiert"),
                                   columnName(entry.keyColumn))
                              .arg(entry.key)
                   + CRLF;
    for (const UndoColumn &column : entry.columns) {
        text += QStringLiteral("  ") + columnName(column.name) + QStringLiteral(": ")
                + (entry.added ? column.after : column.before + QStringLiteral(" -> ") + column.after) + CRLF;
    }
    return text + QStringLiteral("Ende %1").arg(entry.number) + CRLF;
}

QString undoConfirmationText(int number, bool saved)
{
    return (saved ? QStringLiteral("Gespeichert %1") : QStringLiteral("Nicht gespeichert %1")).arg(number) + CRLF;
}

QString databaseIdentity(const DatabaseLocation &location)
{
    switch (location.kind) {
    case DatabaseLocation::Kind::SQLite: {
        const QFileInfo file(location.path);
        const QString canonical = file.canonicalFilePath();
        return QStringLiteral("SQLite-Datei ")
               + QDir::toNativeSeparators(canonical.isEmpty() ? QDir::cleanPath(file.absoluteFilePath()) : canonical);
    }
    case DatabaseLocation::Kind::PostgreSQL: {
        for (const auto &[key, value] : location.options) {
            if (key == QLatin1String("service"))
                return QStringLiteral("PostgreSQL-Dienst %1, Datenbank %2").arg(value, location.database);
        }
        // Host names are no matter of case; a socket's folder is.
        const QString host = location.host.isEmpty()         ? QStringLiteral("lokal")
                             : location.host.startsWith(u'/') ? location.host
                                                              : location.host.toLower();
        return QStringLiteral("PostgreSQL-Server %1, Port %2, Datenbank %3")
            .arg(host)
            .arg(location.port > 0 ? location.port : 5432)
            .arg(location.database);
    }
    case DatabaseLocation::Kind::ODBC:
        break;
    }
    QStringList attributes;
    for (const QString &attribute : DatabaseLocation::withoutPassword(location.connectionString).split(u';', Qt::SkipEmptyParts)) {
        const QString key = attribute.section(u'=', 0, 0).trimmed().toUpper();
        const QString value = attribute.section(u'=', 1).trimmed();
        if (key == QLatin1String("DSN"))
            return QStringLiteral("ODBC-Datenquelle ") + value;
        // Who connects, and how long the driver waits, name no other database.
        if (key != QLatin1String("UID") && key != QLatin1String("USER") && key != QLatin1String("TIMEOUT"))
            attributes << key + u'=' + value;
    }
    attributes.sort();
    return QStringLiteral("ODBC-Verbindung ") + attributes.join(u';');
}
