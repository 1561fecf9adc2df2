#include "testplatform.h"

#include "testsignals.h"

#include <QDir>
#include <QFile>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>

namespace {

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(port));
    return address;
}

} // namespace

QString lacking(Need need)
{
    if (need == Need::TwoUsers && geteuid() != 0)
        return QStringLiteral("needs two users: run as root");
    return QString();
}

void prepareForStops(QProcess &)
{
    // A signal reaches any process of the user.
}

QString sendStop(const QProcess &process, Stop stop)
{
    QString why;
    sendSignal(process, stop == Stop::Interrupt ? SIGINT : stop == Stop::Terminate ? SIGTERM : SIGHUP, &why);
    return why;
}

QString redirectDataFolder(QProcessEnvironment &environment, const QString &folder)
{
    environment.insert(QStringLiteral("XDG_DATA_HOME"), folder);
    environment.insert(QStringLiteral("XDG_CONFIG_HOME"), folder + QStringLiteral("/benutzer"));
    environment.insert(QStringLiteral("XDG_CONFIG_DIRS"), folder + QStringLiteral("/leer:") + folder + QStringLiteral("/rechner"));
    return folder + QStringLiteral("/Tarvel/Tarvel/");
}

QString settingsFile(const QString &folder, bool machine)
{
    return folder + (machine ? QStringLiteral("/rechner") : QStringLiteral("/benutzer")) + QStringLiteral("/Tarvel/Tarvel.conf");
}

bool makePipe(const QString &path)
{
    return ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0;
}

QStringList asUser(int user, const QStringList &command)
{
    if (geteuid() != 0)
        return command;
    return QStringList{QStringLiteral("setpriv"), QStringLiteral("--reuid=%1").arg(user),
                       QStringLiteral("--regid=%1").arg(user), QStringLiteral("--clear-groups")}
           + command;
}

bool changeOwner(const QString &path, int user)
{
    return ::chown(QFile::encodeName(path).constData(), uid_t(user), gid_t(user)) == 0;
}

TestSocket listenOnLoopback(int *port)
{
    sockaddr_in address = loopback(0);
    socklen_t size = sizeof address;
    const int listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr *>(&address), size) != 0 || ::listen(listener, 8) != 0
        || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        closeSocket(listener);
        return -1;
    }
    *port = ntohs(address.sin_port);
    return listener;
}

namespace {

// A proxy passes on at once what it got, as a link does: no waiting to join
// small pieces.
int sendingAtOnce(int socket)
{
    const int on = 1;
    if (socket >= 0)
        ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
    return socket;
}

} // namespace

TestSocket acceptConnection(TestSocket listener)
{
    return sendingAtOnce(::accept(int(listener), nullptr, nullptr));
}

TestSocket connectToLoopback(int port)
{
    const int connection = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    if (connection >= 0 && ::connect(connection, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
        return sendingAtOnce(connection);
    closeSocket(connection);
    return -1;
}

qsizetype receiveBytes(TestSocket socket, char *buffer, qsizetype size)
{
    return ::recv(int(socket), buffer, size_t(size), 0);
}

bool sendBytes(TestSocket socket, const char *bytes, qsizetype size)
{
    return ::send(int(socket), bytes, size_t(size), MSG_NOSIGNAL) == size;
}

void closeSocket(TestSocket socket)
{
    if (socket >= 0)
        ::close(int(socket));
}

QList<bool> readableSockets(const QList<TestSocket> &sockets, int milliseconds)
{
    std::vector<pollfd> watched;
    for (const TestSocket socket : sockets)
        watched.push_back({int(socket), POLLIN, 0});
    QList<bool> readable(sockets.size(), false);
    if (::poll(watched.data(), watched.size(), milliseconds) > 0) {
        for (qsizetype i = 0; i < sockets.size(); ++i)
            readable[i] = watched[size_t(i)].revents != 0;
    }
    return readable;
}

bool useOpener(Opener opener, const QString &folder)
{
    static const QByteArray systemPath = qgetenv("PATH");
    const QString bin = folder + QStringLiteral("/opener");
    QFile script(bin + QStringLiteral("/xdg-open"));
    const QByteArray body = opener == Opener::Takes ? "printf '%s\\n' \"$1\" >> \"$0.log\"\n"
                                                    : "echo \"xdg-open: no method available for opening '$1'\" >&2\nexit 3\n";
    if (!QDir().mkpath(bin) || !script.open(QIODevice::WriteOnly) || script.write("#!/bin/sh\n" + body) < 0
        || !script.setPermissions(script.permissions() | QFileDevice::ExeOwner))
        qFatal("no opener in %s", qPrintable(bin));
    qputenv("PATH", opener == Opener::Missing ? QFile::encodeName(folder + QStringLiteral("/nirgends"))
                                              : QFile::encodeName(bin) + ':' + systemPath);
    return false;
}

QStringList openedPaths(const QString &folder)
{
    QFile log(folder + QStringLiteral("/opener/xdg-open.log"));
    return log.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(log.readAll()).split(u'\n', Qt::SkipEmptyParts)
                                         : QStringList();
}
