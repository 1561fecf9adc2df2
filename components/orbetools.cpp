#include "orbetools.h"

#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>

bool OrbeTools::FileExists(const QString &path)
{
    if (path.isEmpty())
        return false;
    const QFileInfo info(path);
    if (!info.isFile())
        return false;
    // Permission bits do not tell everything (ACLs, root): try it.
    QFile file(path);
    return file.open(QIODevice::ReadOnly);
}

QString OrbeTools::dataFolder()
{
    return QStandardPaths::writableLocation(QStandardPaths::AppLocalDataLocation) + u'/';
}

OrbeTools::PathParts OrbeTools::splitPath(const QString &path)
{
    const qsizetype last = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    return {path.left(last + 1), path.mid(last + 1)};
}

QString OrbeTools::validFileName(const QString &name)
{
    static const QString forbidden = QStringLiteral("/\\:*?\"<>|");
    QString result;
    result.reserve(name.size());
    for (QChar c : name)
        result += (c.unicode() < 0x20 || c.unicode() == 0x7f || forbidden.contains(c)) ? QChar(u'_') : c;
    // Windows drops trailing blanks and dots.
    while (!result.isEmpty() && (result.endsWith(u' ') || result.endsWith(u'.')))
        result.chop(1);
    if (result.isEmpty())
        result = QStringLiteral("Datei");
    static const QStringList reserved{QStringLiteral("CON"), QStringLiteral("PRN"), QStringLiteral("AUX"),
                                      QStringLiteral("NUL"), QStringLiteral("COM1"), QStringLiteral("COM2"),
                                      QStringLiteral("COM3"), QStringLiteral("COM4"), QStringLiteral("COM5"),
                                      QStringLiteral("COM6"), QStringLiteral("COM7"), QStringLiteral("COM8"),
                                      QStringLiteral("COM9"), QStringLiteral("LPT1"), QStringLiteral("LPT2"),
                                      QStringLiteral("LPT3"), QStringLiteral("LPT4"), QStringLiteral("LPT5"),
                                      QStringLiteral("LPT6"), QStringLiteral("LPT7"), QStringLiteral("LPT8"),
                                      QStringLiteral("LPT9")};
    if (reserved.contains(result.section(u'.', 0, 0), Qt::CaseInsensitive))
        result.prepend(u'_');
    return result;
}

namespace {

// The system's words on a failed file operation, in German where they are
// common; words Tarvel does not know are passed on (on Windows they come in
// the language of the system).
QString fileReason(const QFile &file)
{
    const QString words = file.errorString();
    static const QList<std::pair<const char *, const char *>> known{
        {"Permission denied", "keine Berechtigung"},
        {"Operation not permitted", "nicht erlaubt"},
        {"No space left on device", "der Datenträger ist voll"},
        {"Disk quota exceeded", "das Speicherkontingent ist erschöpft"},
        {"Read-only file system", "der Datenträger ist schreibgeschützt"},
        {"No such file or directory", "den Ordner gibt es nicht"},
        {"Not a directory", "den Ordner gibt es nicht"},
        {"File name too long", "der Name ist zu lang"},
        {"Input/output error", "Ein-/Ausgabefehler des Datenträgers"}};
    for (const auto &[english, german] : known) {
        if (words.contains(QLatin1String(english), Qt::CaseInsensitive))
            return QString::fromUtf8(german);
    }
    return words;
}

QString failureOf(const QString &path, const QString &reason)
{
    return QStringLiteral("%1: %2").arg(path, reason);
}

} // namespace

QString OrbeTools::fileFailure(const QFile &file)
{
    return failureOf(file.fileName(), fileReason(file));
}

std::optional<QString> OrbeTextFile::create(QString &path)
{
    auto [folder, name] = OrbeTools::splitPath(path);

    if (folder.size() > 1) {
        // On Linux "\\" is an ordinary character: a folder that exists as
        // written (without its last separator) is taken as it is, any other
        // has its backslashes read as separators.
        const QString asGiven = folder.chopped(1);
        if (QFileInfo(asGiven).isDir())
            folder = asGiven + u'/';
        else
            folder.replace(u'\\', u'/');
    }
    const QString folderPath = folder.isEmpty() ? QStringLiteral(".") : folder;
    if (!QFileInfo(folderPath).isDir())
        return failureOf(folderPath, QStringLiteral("den Ordner gibt es nicht"));

    QString base = OrbeTools::validFileName(name);
    if (base.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
        base.chop(4);

    for (int counter = 1; counter < 10000; ++counter) {
        const QString candidate = folder + base
                                  + (counter == 1 ? QString() : QStringLiteral(" (%1)").arg(counter))
                                  + QStringLiteral(".txt");
        m_file.setFileName(candidate);
        // NewOnly: a file that appears meanwhile is still never overwritten.
        if (!m_file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            const QFileInfo taken(candidate);
            // A link that leads nowhere takes the name as well.
            if (taken.exists() || taken.isSymLink())
                continue;
            return OrbeTools::fileFailure(m_file);
        }
        path = candidate;
        return std::nullopt;
    }
    return failureOf(folder + base, QStringLiteral("alle Namen bis „(9999)“ sind vergeben"));
}

std::optional<QString> OrbeTextFile::write(const QString &text)
{
    if (!m_file.isOpen())
        return failureOf(m_file.fileName(), QStringLiteral("die Datei wurde nicht angelegt"));
    // In pieces: a log of many megabytes need not exist twice, in UTF-16 and
    // UTF-8, when memory is short.
    constexpr qsizetype Piece = 1 << 20;
    bool written = m_file.seek(0) && m_file.resize(0);
    for (qsizetype at = 0; written && at < text.size();) {
        qsizetype length = std::min(Piece, text.size() - at);
        // A character of two halves stays in one piece.
        if (at + length < text.size() && text.at(at + length - 1).isHighSurrogate())
            --length;
        const QByteArray bytes = QStringView(text).mid(at, length).toUtf8();
        written = m_file.write(bytes) == bytes.size();
        at += length;
    }
    // A full disk shows only when the written bytes leave the buffer.
    if (written && m_file.flush())
        return std::nullopt;
    return OrbeTools::fileFailure(m_file);
}
