#include "orbewatchdog.h"

#include <QDir>

#include <sys/socket.h>
#include <sys/stat.h>

void cutOffSocket(int socket)
{
    // The descriptor stays open: closed here, its number could go to another
    // file before libpq closes it.
    ::shutdown(socket, SHUT_RDWR);
}

QList<int> openSockets()
{
    QList<int> sockets;
    const QStringList descriptors = QDir(QStringLiteral("/proc/self/fd")).entryList(QDir::NoDotAndDotDot | QDir::AllEntries | QDir::System);
    for (const QString &name : descriptors) {
        bool ok = false;
        const int fd = name.toInt(&ok);
        struct stat status {};
        if (ok && ::fstat(fd, &status) == 0 && S_ISSOCK(status.st_mode))
            sockets << fd;
    }
    return sockets;
}
