#include "orbewatchdog.h"

#include <sys/socket.h>

void shutDownSocket(int socket)
{
    ::shutdown(socket, SHUT_RDWR);
}
