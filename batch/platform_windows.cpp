#include "platform.h"

#include "orbewatchdog.h"

#include <QCoreApplication>
#include <QStringList>

#include <atomic>
#include <csignal>

#include <fcntl.h>
#include <io.h>
#include <windows.h>

namespace {

std::atomic<int> receivedSignal = 0;

// Runs on a thread of its own that the system starts for each event.
BOOL WINAPI onConsoleEvent(DWORD event)
{
    const int signal = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? SIGINT : SIGTERM;
    int none = 0;
    // The second event: the system's own handler ends the program at once.
    if (!receivedSignal.compare_exchange_strong(none, signal))
        return FALSE;
    // A run waiting for the database stops waiting.
    cancelDatabaseWaits();
    if (signal == SIGINT)
        return TRUE;
    // After a closed console, a log-off or a shutdown the system ends the
    // process as soon as this handler returns, or after a few seconds: it
    // waits, so that the run finishes its row and writes its log first. The
    // program's end ends the wait.
    Sleep(INFINITE);
    return TRUE;
}

} // namespace

QList<QByteArray> nativeArguments(int, char *[])
{
    // main's argv holds the command line in the ANSI code page, which lacks
    // most characters; Qt reads the UTF-16 command line.
    QList<QByteArray> arguments;
    for (const QString &argument : QCoreApplication::arguments().mid(1))
        arguments << argument.toUtf8();
    return arguments;
}

QString argumentText(const QByteArray &native)
{
    return QString::fromUtf8(native);
}

void setUpStandardStreams()
{
    // In text mode the C library writes CR LF for each LF: the log's CR LF
    // would become CR CR LF.
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
}

void catchCancelSignals()
{
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

int cancelSignal()
{
    return receivedSignal;
}

QString stopHelp()
{
    return QStringLiteral("130 nach Strg+C oder\n"
                          "Strg+Untbr, 143 nach dem Schließen der Konsole, Abmelden oder Herunterfahren: der\n"
                          "Lauf endet nach der laufenden Zeile (ein zweites Strg+C beendet sofort).\n");
}

WorkbookLinks::WorkbookLinks(const QByteArray &, const QString &)
{
    // Every name the system passes is text (UTF-16): Qt reaches it directly.
}
