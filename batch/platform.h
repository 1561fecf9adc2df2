#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QTemporaryDir>

#include <optional>

// The few calls of tarvel-batch that differ between operating systems:
// platform_posix.cpp and platform_windows.cpp, of which CMake builds one.

// The arguments after the program's name as the system passed them: on POSIX
// their bytes, on Windows the UTF-16 command line in UTF-8, so that any
// character of a name arrives.
QList<QByteArray> nativeArguments(int argc, char *argv[]);

// An argument as text (a POSIX name that is no UTF-8 reads as far as it can).
QString argumentText(const QByteArray &native);

// Standard output and error carry the program's bytes unchanged (a CR LF of
// the log stays one).
void setUpStandardStreams();

// From here on the first interrupt (Ctrl+C), termination or hang-up (a closed
// terminal or console) asks the run to stop after its current row, and ends a
// wait for the database at once; a second one ends the program at once. A
// write to a closed pipe is an error the program reports, not a signal that
// ends it.
void catchCancelSignals();

// The signal that asked for the stop (SIGINT, SIGTERM, SIGHUP; on Windows
// Ctrl+C and Ctrl+Break count as SIGINT, a closed console, log-off or shutdown
// as SIGTERM); 0 while none came.
int cancelSignal();

// The exit statuses after a stop, for the help text.
QString stopHelp();

// Qt's file functions take only names they can read as text: on POSIX a
// workbook name that is no UTF-8 is reached through links to the file and to
// its folder in a private folder that lives as long as this object. Without
// links (the text reaches the file; always so on Windows) file() is empty.
class WorkbookLinks
{
public:
    // native is the argument as the system passed it, text as argumentText reads it.
    WorkbookLinks(const QByteArray &native, const QString &text);
    QString file() const { return m_file; }
    QString folder() const { return m_folder; }

private:
    std::optional<QTemporaryDir> m_links;
    QString m_file;
    QString m_folder; // with a trailing "/"
};
