#include "orbewatchdog.h"

#include <winsock2.h>

void cutOffSocket(int socket)
{
    // A socket shut down wakes no select() waiting on it (seen under Wine;
    // Windows documents only closesocket as cancelling another thread's
    // blocking call): closed, libpq's select() returns. libpq's own close
    // later finds no socket; Tarvel makes sockets on one thread, the one
    // that then closes the connection, so none takes its number meanwhile.
    // libpq hands its SOCKET out as an int.
    ::closesocket(static_cast<SOCKET>(socket));
}

QList<int> openSockets()
{
    // Windows lists no handles of a process by kind: an ODBC connection's
    // waits are bounded by its driver's own timeouts only.
    return {};
}
