#include "orbelink_pq.h"

#include <libpq-fe.h>

#include <cstring>

CancelTarget cancelTargetOf(PGconn *connection)
{
    // The client library hands the cancel key out only inside its cancel
    // object. Versions 15 and 16 lay it out alike: the server's address (a
    // sockaddr_storage of 128 bytes and its length), the backend's process
    // and its key. Another version gets no cancel of its own; its waits are
    // then ended by giving the connection up.
    const int version = PQlibVersion();
    if (version < 150000 || version >= 170000)
        return {};
    struct Layout
    {
        unsigned char address[128];
        int addressLength;
        int process;
        int key;
    };
    PGcancel *cancel = PQgetCancel(connection);
    if (!cancel)
        return {};
    Layout layout{};
    std::memcpy(&layout, cancel, sizeof layout);
    PQfreeCancel(cancel);
    if (layout.process != PQbackendPID(connection) || layout.addressLength <= 0
        || layout.addressLength > int(sizeof layout.address))
        return {};
    return CancelTarget{QByteArray(reinterpret_cast<const char *>(layout.address), layout.addressLength),
                        quint32(layout.process), quint32(layout.key)};
}

QByteArray cancelPacket(const CancelTarget &target)
{
    QByteArray packet;
    for (const quint32 word : {quint32(16), quint32(80877102), target.process, target.key}) {
        for (int shift = 24; shift >= 0; shift -= 8)
            packet += char((word >> shift) & 0xff);
    }
    return packet;
}
