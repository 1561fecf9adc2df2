#include "orbewatchdog.h"

#include <sys/socket.h>

void cutOffSocket(int socket)
{
    // The descriptor stays open: closed here, its number could go to another
    // file before libpq closes it.
    ::shutdown(socket, SHUT_RDWR);
}
