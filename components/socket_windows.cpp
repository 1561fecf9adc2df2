#include "orbelink_pq.h"
#include "orbesocket.h"

#include <winsock2.h>

int waitForSocket(int socket, bool write, std::chrono::milliseconds limit)
{
    if (socket < 0)
        return -1;
    // The client library hands its SOCKET out as an int.
    WSAPOLLFD watched{static_cast<SOCKET>(socket), short(write ? POLLWRNORM : POLLRDNORM), 0};
    const int ready = ::WSAPoll(&watched, 1, int(limit.count()));
    if (ready == SOCKET_ERROR)
        return -1;
    return ready > 0 ? 1 : 0;
}

void cutOffSocket(int socket)
{
    // Only sockets that openSockets() found come here, and it finds none on
    // Windows; a socket is never closed under its owner.
    ::shutdown(static_cast<SOCKET>(socket), SD_BOTH);
}

QList<SocketIdentity> openSockets()
{
    // Windows lists no handles of a process by kind: an ODBC connection's
    // waits are bounded by its driver's own timeouts and its cancel.
    return {};
}

bool stillOpen(const SocketIdentity &)
{
    return false;
}

bool sendCancelRequest(const CancelTarget &target, std::chrono::milliseconds limit)
{
    const auto *address = reinterpret_cast<const sockaddr *>(target.address.constData());
    const SOCKET socket = ::socket(address->sa_family, SOCK_STREAM, 0);
    if (socket == INVALID_SOCKET)
        return false;
    bool sent = false;
    // Without blocking, so that a server that does not take the connection
    // or never closes it costs at most the limit.
    u_long nonBlocking = 1;
    if (::ioctlsocket(socket, FIONBIO, &nonBlocking) == 0) {
        const int connected = ::connect(socket, address, int(target.address.size()));
        if (connected == 0
            || (::WSAGetLastError() == WSAEWOULDBLOCK && waitForSocket(int(socket), true, limit) == 1)) {
            int failure = 0;
            int length = sizeof failure;
            ::getsockopt(socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char *>(&failure), &length);
            const QByteArray packet = cancelPacket(target);
            sent = failure == 0 && ::send(socket, packet.constData(), int(packet.size()), 0) == packet.size();
            // The server closes the connection once it has taken the cancel.
            char byte = 0;
            if (sent && waitForSocket(int(socket), false, limit) == 1)
                sent = ::recv(socket, &byte, 1, 0) != SOCKET_ERROR;
        }
    }
    ::closesocket(socket);
    return sent;
}
