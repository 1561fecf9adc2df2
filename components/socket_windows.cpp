#include "orbewatchdog.h"

#include <winsock2.h>

void shutDownSocket(int socket)
{
    // libpq hands its SOCKET out as an int.
    ::shutdown(static_cast<SOCKET>(socket), SD_BOTH);
}
