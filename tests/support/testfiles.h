#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>

// A file's whole content, for comparing what a run or a tool wrote; a marker
// that compares unequal to any written content when it cannot be read.
inline QByteArray fileBytes(const QString &path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<nicht lesbar>");
}

// Writes a test's input file; false when it could not be written whole.
inline bool writeFileBytes(const QString &path, const QByteArray &content)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}
