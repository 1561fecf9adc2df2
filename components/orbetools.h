#pragma once

#include <QString>

// The component's utility functions.
class OrbeTools
{
public:
    // True for an existing, readable regular file.
    static bool FileExists(const QString &path);

    // Writes text as UTF-8 to a new file. The file name part of path is made
    // valid on Linux and Windows (/ \ : * ? " < > | replaced), ".txt" is added,
    // and an existing file is never overwritten (a counter is added). path is
    // set to the file actually written. Returns false when nothing could be
    // written. The fixed arguments -1.0, true, true are those the runs pass.
    static bool WriteTextFile(QString &path, const QString &text, double reserved = -1.0,
                              bool createNew = true, bool utf8 = true);
};
