#include "testplatform.h"

#include <winsock2.h>
#include <windows.h>

#include <vector>

namespace {

// The test's Ctrl+C goes to every process on its console; the test itself goes on.
BOOL WINAPI ignoreInterrupt(DWORD event)
{
    return event == CTRL_C_EVENT;
}

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(u_short(port));
    return address;
}

void startSockets()
{
    static const bool started = [] {
        WSADATA data;
        return WSAStartup(MAKEWORD(2, 2), &data) == 0;
    }();
    Q_UNUSED(started);
}

} // namespace

QString lacking(Need need)
{
    switch (need) {
    case Need::Termination:
    case Need::HangUp:
        return QStringLiteral("a test on Windows (and Wine) can send Ctrl+C only, no closed console");
    case Need::ReplacingOpenFiles:
        return QStringLiteral("Windows lets no file replace one that a program holds open");
    case Need::SpecialFiles:
        return QStringLiteral("Windows has no devices or pipes in its file system");
    case Need::TwoUsers:
        return QStringLiteral("the test cannot act as another Windows user");
    case Need::OdbcDrivers:
        // Wine's ODBC manager hands the calls to the machine's unixODBC: its
        // Linux drivers take no Windows path, and it loads no Windows DLL.
        return QStringLiteral("Debian has no Windows ODBC drivers for SQLite, PostgreSQL or MariaDB, "
                              "and Wine's ODBC manager loads no Windows driver");
    }
    return QString();
}

void prepareForStops(QProcess &process)
{
    // A console of the test's own: a Ctrl+C on the console it was started
    // from would reach the test runner too.
    static const bool ownConsole = [] {
        FreeConsole();
        return AllocConsole() && SetConsoleCtrlHandler(ignoreInterrupt, TRUE);
    }();
    Q_UNUSED(ownConsole);
    // QProcess starts a program without a console when the test's console
    // has no window (always so under Wine): it must share this one.
    process.setCreateProcessArgumentsModifier([](QProcess::CreateProcessArguments *arguments) {
        arguments->flags &= ~DWORD(CREATE_NO_WINDOW);
    });
}

QString sendStop(const QProcess &process, Stop stop)
{
    if (process.state() != QProcess::Running)
        return QStringLiteral("%1 is not running (it ended with %2)").arg(process.program()).arg(process.exitCode());
    if (stop != Stop::Interrupt)
        return lacking(Need::Termination);
    if (!GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0))
        return QStringLiteral("GenerateConsoleCtrlEvent: error %1").arg(GetLastError());
    return QString();
}

QString redirectDataFolder(QProcessEnvironment &environment, const QString &folder)
{
    environment.insert(QStringLiteral("TARVEL_TEST_LOCAL_APPDATA"), folder);
    return folder + QStringLiteral("/Tarvel/Tarvel/");
}

QString settingsFile(const QString &, bool)
{
    return QString();
}

bool makePipe(const QString &)
{
    return false;
}

QStringList asUser(int, const QStringList &command)
{
    return command;
}

bool changeOwner(const QString &, int)
{
    return false;
}

TestSocket listenOnLoopback(int *port)
{
    startSockets();
    sockaddr_in address = loopback(0);
    int size = sizeof address;
    const SOCKET listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (listener == INVALID_SOCKET || ::bind(listener, reinterpret_cast<sockaddr *>(&address), size) != 0
        || ::listen(listener, 8) != 0 || ::getsockname(listener, reinterpret_cast<sockaddr *>(&address), &size) != 0) {
        closeSocket(TestSocket(listener));
        return -1;
    }
    *port = ntohs(address.sin_port);
    return TestSocket(listener);
}

namespace {

// A proxy passes on at once what it got, as a link does: no waiting to join
// small pieces.
TestSocket sendingAtOnce(SOCKET socket)
{
    const BOOL on = TRUE;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char *>(&on), sizeof on);
    return TestSocket(socket);
}

} // namespace

TestSocket acceptConnection(TestSocket listener)
{
    const SOCKET connection = ::accept(SOCKET(listener), nullptr, nullptr);
    return connection == INVALID_SOCKET ? -1 : sendingAtOnce(connection);
}

TestSocket connectToLoopback(int port)
{
    startSockets();
    const SOCKET connection = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(port);
    if (connection != INVALID_SOCKET
        && ::connect(connection, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0)
        return sendingAtOnce(connection);
    closeSocket(TestSocket(connection));
    return -1;
}

qsizetype receiveBytes(TestSocket socket, char *buffer, qsizetype size)
{
    return ::recv(SOCKET(socket), buffer, int(size), 0);
}

bool sendBytes(TestSocket socket, const char *bytes, qsizetype size)
{
    return ::send(SOCKET(socket), bytes, int(size), 0) == size;
}

void closeSocket(TestSocket socket)
{
    if (socket != -1)
        ::closesocket(SOCKET(socket));
}

QList<bool> readableSockets(const QList<TestSocket> &sockets, int milliseconds)
{
    std::vector<WSAPOLLFD> watched;
    for (const TestSocket socket : sockets)
        watched.push_back({SOCKET(socket), POLLIN, 0});
    QList<bool> readable(sockets.size(), false);
    if (WSAPoll(watched.data(), ULONG(watched.size()), milliseconds) > 0) {
        for (qsizetype i = 0; i < sockets.size(); ++i)
            readable[i] = watched[size_t(i)].revents != 0;
    }
    return readable;
}

bool useOpener(Opener, const QString &)
{
    return true;
}

QStringList openedPaths(const QString &)
{
    return {};
}
