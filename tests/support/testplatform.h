#pragma once

#include <QList>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <cstdint>

// What the tests do differently per operating system: testplatform_posix.cpp
// and testplatform_windows.cpp, of which CMake builds one. A test that needs
// what a system lacks skips with the reason these functions give.

// What a test may need that not every system has.
enum class Need {
    Termination,        // a test sends the stop of SIGTERM or a closed console
    HangUp,             // a test sends the stop of a closed terminal (SIGHUP)
    ReplacingOpenFiles, // another file moved over one that a program holds open
    SpecialFiles,       // /dev/full (takes no byte), /dev/zero (never ends), named pipes (mkfifo)
    TwoUsers,           // the test runs as root and may act as other users, whom permissions bind
    OdbcDrivers,        // ODBC drivers of this system that its ODBC manager loads (SQLite, PostgreSQL, MariaDB, a stand-in)
};
// Why this system lacks it (a test skips with that reason); empty when it has it.
QString lacking(Need need);

// Ways to stop tarvel-batch from outside, with the exit status each gives
// (128 and the POSIX signal): SIGINT, SIGTERM, SIGHUP; on Windows Ctrl+C
// (Ctrl+Break alike), a closed console, nothing.
enum class Stop { Interrupt = 130, Terminate = 143, HangUp = 129 };

// Lets sendStop reach the program that process starts: on Windows it shares
// a console of the test's own, which nothing else uses.
void prepareForStops(QProcess &process);
// Sends the stop to the running process: empty when sent, else why not.
QString sendStop(const QProcess &process, Stop stop);

// Points the data folder (default database, error log) of the programs
// started with environment into folder; returns that data folder with a
// trailing "/". On Windows through TARVEL_TEST_LOCAL_APPDATA, which the Wine
// prefix of scripts/windows/test.sh makes the local application data folder.
// On Linux their settings go there too: the user's, and the machine's in the
// second of two folders of XDG_CONFIG_DIRS.
QString redirectDataFolder(QProcessEnvironment &environment, const QString &folder);
// The files of those settings, the user's or the machine's, after
// redirectDataFolder; empty where the settings are the registry's, which every
// program of the system shares (Windows).
QString settingsFile(const QString &folder, bool machine);

// The system's opener of files and folders as a window test sets it up for
// itself and what it starts: one that takes every path, one that has no
// program for any (it fails as xdg-open does, "no method available"), or
// none. Where the shell opens files (Windows) the test's URL handler stands
// in: this does nothing and says so (true). The paths it took, in folder.
enum class Opener { Takes, NoProgram, Missing };
bool useOpener(Opener opener, const QString &folder);
QStringList openedPaths(const QString &folder);

// Makes a named pipe at path (SpecialFiles).
bool makePipe(const QString &path);
// command run as the user with that id (TwoUsers), when the tests run as root;
// else as it is.
QStringList asUser(int user, const QStringList &command);
// Gives the file to the user and the group of that id (TwoUsers).
bool changeOwner(const QString &path, int user);

// TCP sockets on 127.0.0.1 for the fault proxy; -1 for none.
using TestSocket = std::intptr_t;
// Listens on a free port, which it sets.
TestSocket listenOnLoopback(int *port);
TestSocket acceptConnection(TestSocket listener);
TestSocket connectToLoopback(int port);
// Bytes read; 0 once the other side closed, less on failure.
qsizetype receiveBytes(TestSocket socket, char *buffer, qsizetype size);
bool sendBytes(TestSocket socket, const char *bytes, qsizetype size);
void closeSocket(TestSocket socket);
// Waits up to milliseconds for any of the sockets to have bytes or an end;
// which of them have.
QList<bool> readableSockets(const QList<TestSocket> &sockets, int milliseconds);
