#include "orbetools.h"

#include <QFile>
#include <QFileInfo>

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

namespace {

bool isSeparator(QChar c)
{
    return c == u'/' || c == u'\\';
}

} // namespace

QString OrbeTools::ValidFileName(const QString &name)
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

bool OrbeTools::WriteTextFile(QString &path, const QString &text)
{
    // The folder part ends at the last separator of either kind: callers build
    // paths from a folder ending in "\".
    qsizetype cut = path.size() - 1;
    while (cut >= 0 && !isSeparator(path.at(cut)))
        --cut;
    QString folder = path.left(cut + 1);
    const QString name = path.mid(cut + 1);

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
        return false;

    QString base = ValidFileName(name);
    if (base.endsWith(QLatin1String(".txt"), Qt::CaseInsensitive))
        base.chop(4);

    const QByteArray bytes = text.toUtf8();

    for (int counter = 1; counter < 10000; ++counter) {
        const QString candidate = folder + base
                                  + (counter == 1 ? QString() : QStringLiteral(" (%1)").arg(counter))
                                  + QStringLiteral(".txt");
        QFile file(candidate);
        // NewOnly: a file that appears meanwhile is still never overwritten.
        if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
            if (QFileInfo::exists(candidate))
                continue;
            return false;
        }
        const bool written = file.write(bytes) == bytes.size() && file.flush();
        file.close();
        if (!written) {
            file.remove();
            return false;
        }
        path = candidate;
        return true;
    }
    return false;
}
