#pragma once

// Internal to the database component: what it does with sockets, one file
// per platform (socket_posix.cpp, socket_windows.cpp).

#include <QList>

#include <chrono>
#include <mutex>

struct CancelTarget;

// Waits until the socket can be read (or written, with write) or the time is
// up: 1 ready, 0 not yet, -1 the socket failed.
int waitForSocket(int socket, bool write, std::chrono::milliseconds limit);

// Ends a connection's socket so that a call blocked on it returns with an
// error. POSIX shuts it down and leaves the descriptor to its owner; Windows
// closes it (a shut-down socket wakes no select() there).
void cutOffSocket(int socket);

// A socket and what tells it apart from a later one under the same number.
struct SocketIdentity
{
    int socket = -1;
    unsigned long long identity = 0;
};
// The sockets the program has open now; empty where the platform cannot tell.
QList<SocketIdentity> openSockets();
// The socket is still the one that was found (its number not reused).
bool stillOpen(const SocketIdentity &socket);

// Held by whoever makes a socket of a database connection (the connect of
// an ODBC driver, the PostgreSQL client library's, a cancel request), so
// that the one socket an ODBC driver opened while it connected can be told
// among the program's sockets even with runs of two windows at once.
std::timed_mutex &socketBirth();
