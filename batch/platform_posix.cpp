#include "platform.h"

#include "orbewatchdog.h"

#include <QDir>
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

bool linkToNative(const QByteArray &nativePath, const QString &link)
{
    return symlink(nativePath.constData(), QFile::encodeName(link).constData()) == 0;
}

} // namespace

QList<QByteArray> nativeArguments(int argc, char *argv[])
{
    QList<QByteArray> arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QByteArray(argv[i]);
    return arguments;
}

QString argumentText(const QByteArray &native)
{
    return QString::fromLocal8Bit(native);
}

void setUpStandardStreams()
{
    // A POSIX stream passes bytes unchanged.
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

QString stopHelp()
{
    return QStringLiteral("129, 130 bzw. 143 nach SIGHUP,\n"
                          "SIGINT bzw. SIGTERM: der Lauf endet nach der laufenden Zeile (ein zweites Signal\n"
                          "beendet sofort).\n");
}

WorkbookLinks::WorkbookLinks(const QByteArray &native, const QString &text)
{
    if (native == text.toLocal8Bit())
        return;
    m_links.emplace();
    const QByteArray absolute = native.startsWith('/') ? native : QFile::encodeName(QDir::currentPath()) + '/' + native;
    const QString file = m_links->filePath(QStringLiteral("Arbeitsmappe"));
    const QString folder = m_links->filePath(QStringLiteral("Ordner"));
    if (linkToNative(absolute, file) && linkToNative(absolute.left(absolute.lastIndexOf('/') + 1), folder)) {
        m_file = file;
        m_folder = folder + u'/';
    }
}
