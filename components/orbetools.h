#pragma once

#include <QString>

// The component's utility functions.
class OrbeTools
{
public:
    // True for an existing, readable regular file.
    static bool FileExists(const QString &path);

    // Writes text as UTF-8 to a new file. The file name part of path (after
    // its last / or \\) is made valid by ValidFileName, ".txt" is added, and
    // an existing file is never overwritten (a counter is added). path is set
    // to the file actually written. Returns false when nothing could be written.
    static bool WriteTextFile(QString &path, const QString &text);

    // name as a file name that Linux and Windows both accept: / \\ : * ? " < > |
    // and control characters become "_", trailing blanks and dots go, and a
    // name Windows reserves (CON, NUL, ...) gets a leading "_".
    static QString ValidFileName(const QString &name);
};
