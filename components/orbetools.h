#pragma once

#include <QFile>
#include <QString>

#include <optional>

// The component's utility functions.
class OrbeTools
{
public:
    // True for an existing, readable regular file.
    static bool FileExists(const QString &path);

    // The program's data folder, with a trailing "/": the default database and
    // the error log. On Windows the local application data, never the roaming
    // folder that offices often redirect to a network share, where SQLite's
    // WAL mode is unsafe; on Linux ~/.local/share/Tarvel/Tarvel.
    static QString dataFolder();

    // name as a file name that Linux and Windows both accept: / \\ : * ? " < > |
    // and control characters become "_", trailing blanks and dots go, and a
    // name Windows reserves (CON, NUL, ...) gets a leading "_".
    static QString validFileName(const QString &name);

    // A path split after its last separator, "\\" (as the runs build paths)
    // or "/": the folder with that separator, or empty, and the name.
    struct PathParts
    {
        QString folder;
        QString name;
    };
    static PathParts splitPath(const QString &path);

    // Why an operation on file failed, as a German text naming the file and
    // the system's reason.
    static QString fileFailure(const QFile &file);
};

// A text file of the program's own: made new, then written whole (an import
// makes its log file before it writes a record, and writes the log into it at
// its end, or the log so far when it fails). Failures come back as a German
// text that names the file and the system's reason.
class OrbeTextFile
{
public:
    // Makes a new empty file. The file name part of path (after its last / or
    // \\) is made valid by validFileName and ".txt" is added; an existing file,
    // or a link of that name, is never replaced: " (2)", " (3)", ... is added.
    // path is set to the file made.
    std::optional<QString> create(QString &path);
    // Replaces the content of the file made by text, as UTF-8.
    std::optional<QString> write(const QString &text);
    bool isCreated() const { return m_file.isOpen(); }
    QString path() const { return m_file.fileName(); }

private:
    QFile m_file;
};
