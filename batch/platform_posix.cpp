#include "platform.h"

#include "orbewatchdog.h"

#include <QFile>

#include <csignal>

#include <unistd.h>

namespace {

volatile std::sig_atomic_t receivedSignal = 0;

extern "C" void onCancelSignal(int signal)
{
    if (receivedSignal != 0) {
        // The second signal: its default action ends the program.
        struct sigaction standard = {};
        standard.sa_handler = SIG_DFL;
        sigaction(signal, &standard, nullptr);
        raise(signal);
        return;
    }
    receivedSignal = signal;
    // A run waiting for the database stops waiting.
    cancelDatabaseWaits();
}

} // namespace

bool isTerminal(std::FILE *stream)
{
    return isatty(fileno(stream)) == 1;
}

void catchCancelSignals()
{
    struct sigaction action = {};
    action.sa_handler = onCancelSignal;
    // A database call that a signal interrupts goes on; the run stops after the row.
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    // A closed terminal asks to stop as SIGTERM does.
    for (const int signal : {SIGINT, SIGTERM, SIGHUP})
        sigaction(signal, &action, nullptr);
    // A closed standard output (a pipe into "head") is a write error that the
    // run reports, not the end of the program before its log file is written.
    std::signal(SIGPIPE, SIG_IGN);
}

int cancelSignal()
{
    return receivedSignal;
}

bool linkToNative(const QByteArray &nativePath, const QString &link)
{
    return symlink(nativePath.constData(), QFile::encodeName(link).constData()) == 0;
}
