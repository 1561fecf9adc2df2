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
