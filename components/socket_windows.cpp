#include "orbewatchdog.h"

#include <winsock2.h>

void shutDownSocket(int socket)
{
    // libpq hands its SOCKET out as an int.
    ::shutdown(static_cast<SOCKET>(socket), SD_BOTH);
}

QList<int> openSockets()
{
    // Windows lists no handles of a process by kind: an ODBC connection's
    // waits are bounded by its driver's own timeouts only.
    return {};
}
