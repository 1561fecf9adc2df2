#pragma once

#include <QByteArray>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTest>

#include <algorithm>

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

// Compares what a test produced with its golden file, line by line, so that a
// failure shows the first line that differs. TARVEL_UPDATE_GOLDEN=1 writes the
// produced text instead, for review.
inline void compareWithGolden(const QString &goldenPath, const QString &actual)
{
    if (qEnvironmentVariable("TARVEL_UPDATE_GOLDEN") == QLatin1String("1"))
        QVERIFY(writeFileBytes(goldenPath, actual.toUtf8()));
    const QStringList expected = QString::fromUtf8(fileBytes(goldenPath)).split(u'\n');
    const QStringList got = actual.split(u'\n');
    for (qsizetype i = 0; i < std::max(expected.size(), got.size()); ++i)
        QVERIFY2(got.value(i) == expected.value(i),
                 qPrintable(QStringLiteral("%1, line %2:\n got      „%3“\n expected „%4“")
                                .arg(goldenPath).arg(i + 1).arg(got.value(i), expected.value(i))));
}
