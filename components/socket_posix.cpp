#include "orbelink_pq.h"
#include "orbesocket.h"

#include <QDir>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

int waitForSocket(int socket, bool write, std::chrono::milliseconds limit)
{
    if (socket < 0)
        return -1;
    pollfd watched{socket, short(write ? POLLOUT : POLLIN), 0};
    const int ready = ::poll(&watched, 1, int(limit.count()));
    if (ready < 0)
        return errno == EINTR ? 0 : -1;
    // An error or a hang-up is for the caller's next read to tell.
    return ready > 0 ? 1 : 0;
}

void cutOffSocket(int socket)
{
    // The descriptor stays open: closed here, its number could go to another
    // file before its owner closes it.
    ::shutdown(socket, SHUT_RDWR);
}

QList<SocketIdentity> openSockets()
{
    QList<SocketIdentity> sockets;
    const QStringList descriptors = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
    for (const QString &name : descriptors) {
        bool ok = false;
        const int fd = name.toInt(&ok);
        struct stat status {};
        if (ok && ::fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode))
            sockets << SocketIdentity{fd, static_cast<unsigned long long>(status.st_ino)};
    }
    return sockets;
}

bool stillOpen(const SocketIdentity &socket)
{
    struct stat status {};
    return socket.socket >= 0 && ::fstat(socket.socket, &status) == 0 && S_ISSOCK(status.st_mode)
           && static_cast<unsigned long long>(status.st_ino) == socket.identity;
}

bool sendCancelRequest(const CancelTarget &target, std::chrono::milliseconds limit)
{
    const auto *address = reinterpret_cast<const sockaddr *>(target.address.constData());
    const int socket = ::socket(address->sa_family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (socket < 0)
        return false;
    bool sent = false;
    // Without blocking, so that a server that does not take the connection
    // or never closes it costs at most the limit.
    if (::fcntl(socket, F_SETFL, ::fcntl(socket, F_GETFL) | O_NONBLOCK) == 0) {
        const int connected = ::connect(socket, address, socklen_t(target.address.size()));
        if (connected == 0 || (errno == EINPROGRESS && waitForSocket(socket, true, limit) == 1)) {
            int failure = 0;
            socklen_t length = sizeof failure;
            ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &failure, &length);
            const QByteArray packet = cancelPacket(target);
            sent = failure == 0 && ::send(socket, packet.constData(), size_t(packet.size()), MSG_NOSIGNAL) == packet.size();
            // The server closes the connection once it has taken the cancel.
            char byte = 0;
            if (sent && waitForSocket(socket, false, limit) == 1)
                sent = ::recv(socket, &byte, 1, 0) >= 0;
        }
    }
    ::close(socket);
    return sent;
}
