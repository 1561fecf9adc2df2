#include "undodata.h"

#include "conversions.h"
#include "orbetools.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>

// Reading undo data: strict, since what it reads is written back into the
// database. Only a last entry that a killed import left incomplete is
// passed over.

namespace {

// Takes a text in double quotes from the start of rest, its escapes read.
std::optional<QString> takeQuoted(QStringView &rest)
{
    if (!rest.startsWith(u'"'))
        return std::nullopt;
    QString text;
    for (qsizetype i = 1; i < rest.size(); ++i) {
        if (rest[i] == u'"') {
            rest = rest.mid(i + 1);
            return text;
        }
        if (rest[i] != u'\\') {
            text += rest[i];
            continue;
        }
        const QStringView escape = rest.mid(i + 1, 5);
        if (escape.startsWith(u'"') || escape.startsWith(u'\\')) {
            text += escape[0];
            ++i;
            continue;
        }
        bool hex = false;
        const ushort code = escape.mid(1).toUShort(&hex, 16);
        if (escape.size() != 5 || escape[0] != u'u' || !hex)
            return std::nullopt;
        text += QChar(code);
        i += 5;
    }
    return std::nullopt;
}

// Takes a value (NULL, a whole number or a quoted text) from the start of
// rest, as undoValueText would write it; nothing for anything else.
std::optional<QString> takeValue(QStringView &rest)
{
    if (rest.startsWith(QLatin1String("NULL"))) {
        rest = rest.mid(4);
        return QStringLiteral("NULL");
    }
    if (rest.startsWith(u'"')) {
        const std::optional<QString> text = takeQuoted(rest);
        return text ? std::optional(undoValueText(*text)) : std::nullopt;
    }
    qsizetype end = rest.startsWith(u'-') ? 1 : 0;
    while (end < rest.size() && rest[end] >= u'0' && rest[end] <= u'9')
        ++end;
    bool fits = false;
    const qlonglong number = rest.left(end).toLongLong(&fits);
    if (!fits)
        return std::nullopt;
    rest = rest.mid(end);
    return QString::number(number);
}

// Takes a column's name, plain or quoted, from the start of rest.
std::optional<QString> takeName(QStringView &rest)
{
    const auto plain = [](QChar c, bool first) {
        return c == u'_' || (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z') || (!first && c >= u'0' && c <= u'9');
    };
    qsizetype end = 0;
    while (end < rest.size() && plain(rest[end], end == 0))
        ++end;
    if (end == 0)
        return takeQuoted(rest);
    const QString name = rest.left(end).toString();
    rest = rest.mid(end);
    return name;
}

// "  name: value" of an added record, "  name: before -> after" of an update.
std::optional<UndoColumn> column(QStringView line, bool added)
{
    if (!line.startsWith(QLatin1String("  ")))
        return std::nullopt;
    QStringView rest = line.mid(2);
    UndoColumn result;
    if (std::optional<QString> name = takeName(rest))
        result.name = *name;
    else
        return std::nullopt;
    if (!rest.startsWith(QLatin1String(": ")))
        return std::nullopt;
    rest = rest.mid(2);
    const std::optional<QString> first = takeValue(rest);
    if (!first)
        return std::nullopt;
    if (added) {
        result.after = *first;
        return rest.isEmpty() ? std::optional(result) : std::nullopt;
    }
    if (!rest.startsWith(QLatin1String(" -> ")))
        return std::nullopt;
    rest = rest.mid(4);
    const std::optional<QString> second = takeValue(rest);
    if (!second || !rest.isEmpty())
        return std::nullopt;
    result.before = *first;
    result.after = *second;
    return result;
}

// The entries after the header, line by line.
class EntryReader
{
public:
    // A line that does not fit: the reason.
    std::optional<QString> take(const QString &line)
    {
        static const QRegularExpression heading(QStringLiteral("^Eintrag (\\d+): Zeile (\\d+) (hinzugefügt|aktualisiert), (.+)$"));
        static const QRegularExpression confirmation(QStringLiteral("^(Nicht g|G)espeichert (\\d+)$"));
        if (m_open) {
            if (line == QStringLiteral("Ende %1").arg(m_open->number)) {
                data.entries << *std::exchange(m_open, std::nullopt);
                return std::nullopt;
            }
            const std::optional<UndoColumn> found = column(line, m_open->added);
            if (!found || found->name.compare(m_open->keyColumn, Qt::CaseInsensitive) == 0
                || std::any_of(m_open->columns.cbegin(), m_open->columns.cend(), [&](const UndoColumn &other) {
                       return other.name.compare(found->name, Qt::CaseInsensitive) == 0;
                   }))
                return QStringLiteral("in Eintrag %1 steht eine beschädigte Spalte, oder sein Ende fehlt").arg(m_open->number);
            m_open->columns << *found;
            return std::nullopt;
        }
        if (line.isEmpty())
            return std::nullopt;
        if (const QRegularExpressionMatch match = heading.match(line); match.hasMatch()) {
            UndoEntry entry;
            bool fits[3] = {};
            entry.number = match.captured(1).toInt(&fits[0]);
            entry.row = match.captured(2).toInt(&fits[1]);
            entry.added = match.captured(3) == u"hinzugefügt";
            QStringView key = match.capturedView(4);
            const std::optional<QString> keyColumn = takeName(key);
            entry.keyColumn = keyColumn.value_or(QString());
            entry.key = key.startsWith(u' ') ? key.mid(1).toLongLong(&fits[2]) : 0;
            if (!keyColumn || !fits[2] || key.mid(1).startsWith(u'+'))
                return QStringLiteral("der Schlüssel des Datensatzes ist unlesbar");
            if (!fits[0] || !fits[1] || entry.number != data.entries.size() + 1)
                return QStringLiteral("der Eintrag folgt nicht auf Eintrag %1").arg(data.entries.size());
            m_open = entry;
            return std::nullopt;
        }
        if (const QRegularExpressionMatch match = confirmation.match(line); match.hasMatch()) {
            const int number = match.captured(2).toInt();
            if (number < 1 || number > data.entries.size() || data.entries[number - 1].confirmed)
                return QStringLiteral("er bestätigt keinen vollständigen Eintrag");
            data.entries[number - 1].confirmed = true;
            if (match.capturedLength(1) > 1)
                m_notSaved << number;
            return std::nullopt;
        }
        return QStringLiteral("sie gehört nicht in Rücknahmedaten");
    }

    // At the end: an entry still open, or a fragment that begins one, is the
    // last one, which a killed import left incomplete. A confirmation cut
    // short leaves its entry unconfirmed.
    void end(QStringView fragment)
    {
        const auto confirming = [&](const QString &confirmation) {
            return fragment.startsWith(confirmation) || confirmation.startsWith(fragment);
        };
        if (m_open)
            data.incompleteLast = QStringLiteral("Eintrag %1 (Zeile %2)").arg(m_open->number).arg(m_open->row);
        else if (!fragment.trimmed().isEmpty() && !confirming(QStringLiteral("Gespeichert"))
                 && !confirming(QStringLiteral("Nicht gespeichert")))
            data.incompleteLast = QStringLiteral("Eintrag %1").arg(data.entries.size() + 1);
        // What was not saved is nothing to take back.
        data.entries.removeIf([&](const UndoEntry &entry) { return m_notSaved.contains(entry.number); });
    }

    UndoData data;

private:
    std::optional<UndoEntry> m_open;
    QSet<int> m_notSaved;
};

// The header's five lines; the reason when they are not.
std::optional<QString> readHeader(const QStringList &lines, UndoHeader &header)
{
    const auto value = [&](int index, const char *key) {
        const QString lead = QString::fromUtf8(key) + QStringLiteral(": ");
        return lines[index].startsWith(lead) ? lines[index].mid(lead.size()) : QString();
    };
    const QString kind = value(1, "Art");
    header.kind = kind == undoKindName(WorkbookKind::District) ? WorkbookKind::District : WorkbookKind::Cooperative;
    header.database = value(2, "Datenbank");
    header.logFile = value(3, "Protokolldatei");
    header.started = QDateTime::fromString(value(4, "Beginn"), Qt::ISODate);
    if (kind != undoKindName(WorkbookKind::District) && kind != undoKindName(WorkbookKind::Cooperative))
        return QStringLiteral("ihr Kopf nennt keine Art des Imports (Zeile 2)");
    if (header.database.isEmpty() || header.logFile.isEmpty() || !header.started.isValid())
        return QStringLiteral("ihr Kopf ist beschädigt (Zeilen 3 bis 5)");
    return std::nullopt;
}

} // namespace

QString unusableUndoData(const QString &path, const QString &why)
{
    return QStringLiteral("Die Rücknahmedaten „%1“ sind unbrauchbar: %2. Es wurde nichts geändert.")
        .arg(QDir::toNativeSeparators(undoDataPath(path)), why);
}

std::variant<UndoData, QString> readUndoData(const QString &logFilePath)
{
    const QString path = undoDataPath(logFilePath);
    const QFileInfo info(path);
    if (!info.exists())
        return QStringLiteral("Zu diesem Import gibt es keine Rücknahmedaten: die Datei „%1“ fehlt. Es wurde nichts "
                              "geändert.").arg(QDir::toNativeSeparators(path));
    // A device or a pipe would never end, or block the read.
    if (!info.isFile())
        return unusableUndoData(path, QStringLiteral("sie sind keine gewöhnliche Datei"));
    if (info.size() > UndoDataLimit)
        return unusableUndoData(path, QStringLiteral("sie sind %1 Bytes groß; ein Import schreibt höchstens 64 MB").arg(info.size()));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QStringLiteral("Die Rücknahmedaten lassen sich nicht lesen (%1). Es wurde nichts geändert.")
            .arg(OrbeTools::fileFailure(file));
    const QByteArray bytes = file.read(UndoDataLimit + 1);
    if (bytes.size() > UndoDataLimit)
        return unusableUndoData(path, QStringLiteral("sie sind größer als 64 MB"));
    // What follows the last line break is a line a killed import cut short.
    const qsizetype complete = bytes.lastIndexOf('\n') + 1;
    QStringDecoder utf8(QStringDecoder::Utf8);
    const QString text = utf8(QByteArrayView(bytes).first(complete));
    const QString fragment = QString::fromUtf8(bytes.mid(complete));
    if (utf8.hasError())
        return unusableUndoData(path, QStringLiteral("sie sind kein UTF-8-Text, also keine Rücknahmedaten von Tarvel"));
    // Line by line: a file of line breaks alone must not become millions of texts.
    QStringList header;
    EntryReader reader;
    qsizetype lineNumber = 0;
    for (qsizetype at = 0; at < text.size(); ++lineNumber) {
        const qsizetype lineEnd = text.indexOf(u'\n', at);
        QStringView line = QStringView(text).mid(at, lineEnd - at);
        at = lineEnd + 1;
        if (line.endsWith(u'\r'))
            line.chop(1);
        if (lineNumber == 0 && line != UndoDataHeading)
            return unusableUndoData(path, QStringLiteral("sie sind keine Rücknahmedaten von Tarvel (die erste Zeile lautet %1)")
                                      .arg(quotedValue(line.toString())));
        if (lineNumber < 5) {
            header << line.toString();
            if (lineNumber == 4) {
                if (std::optional<QString> damage = readHeader(header, reader.data.header))
                    return unusableUndoData(path, *damage);
            }
        } else if (std::optional<QString> damage = reader.take(line.toString())) {
            return unusableUndoData(path, QStringLiteral("Zeile %1 ist beschädigt, %2: %3")
                                      .arg(lineNumber + 1)
                                      .arg(*damage, quotedValue(line.toString())));
        }
    }
    if (lineNumber == 0 && !UndoDataHeading.startsWith(fragment))
        return unusableUndoData(path, QStringLiteral("sie sind keine Rücknahmedaten von Tarvel (die erste Zeile lautet %1)")
                                  .arg(quotedValue(fragment)));
    if (lineNumber < 5)
        return unusableUndoData(path, QStringLiteral("sie enden mitten im Kopf (nach Zeile %1)").arg(lineNumber));
    reader.end(fragment);
    return reader.data;
}
