#include "faultproxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <optional>
#include <vector>

FaultProxy::FaultProxy(int serverPort)
    : m_serverPort(serverPort)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), size) != 0
        || ::listen(m_listener, 8) != 0 || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &size) != 0
        || ::pipe(m_wake) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

FaultProxy::~FaultProxy()
{
    if (m_thread.joinable()) {
        const char stop = 0;
        (void)::write(m_wake[1], &stop, 1);
        m_thread.join();
    }
    for (const Link &link : m_links) {
        ::close(link.client);
        ::close(link.server);
    }
    for (const int descriptor : {m_listener, m_wake[0], m_wake[1]}) {
        if (descriptor >= 0)
            ::close(descriptor);
    }
}

void FaultProxy::add(int connection, const QByteArray &text, int count, Fault fault)
{
    std::lock_guard lock(m_mutex);
    m_rules.push_back({connection, text.toLower(), count, {}, fault});
}

void FaultProxy::add(int connection, const QByteArray &text, int count, std::function<void()> action)
{
    std::lock_guard lock(m_mutex);
    m_rules.push_back({connection, text.toLower(), count, std::move(action), Fault::Freeze});
}

void FaultProxy::run()
{
    for (;;) {
        std::vector<pollfd> watched{{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (const Link &link : m_links) {
            if (!link.frozen) {
                watched.push_back({link.client, POLLIN, 0});
                watched.push_back({link.server, POLLIN, 0});
            }
        }
        if (::poll(watched.data(), watched.size(), -1) < 0)
            continue;
        if (watched[0].revents)
            return;
        if (watched[1].revents)
            accept();
        for (auto it = m_links.begin(); it != m_links.end();) {
            bool keep = true;
            for (const pollfd &entry : watched) {
                if (!keep || it->frozen || !entry.revents || (entry.fd != it->client && entry.fd != it->server))
                    continue;
                char buffer[16384];
                const ssize_t got = ::read(entry.fd, buffer, sizeof buffer);
                const QByteArray bytes(buffer, got > 0 ? qsizetype(got) : 0);
                if (got <= 0)
                    keep = false; // one side closed: the other is closed too
                else if (entry.fd == it->client)
                    keep = passOn(*it, bytes);
                else
                    keep = ::write(it->client, bytes.constData(), size_t(bytes.size())) == got;
            }
            if (keep) {
                ++it;
                continue;
            }
            ::close(it->client);
            ::close(it->server);
            it = m_links.erase(it);
        }
    }
}

void FaultProxy::accept()
{
    const int client = ::accept(m_listener, nullptr, nullptr);
    if (client < 0)
        return;
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(m_serverPort));
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    if (server < 0 || ::connect(server, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(client);
        if (server >= 0)
            ::close(server);
        return;
    }
    m_links.push_back({++m_connections, client, server, false, {}});
}

bool FaultProxy::passOn(Link &link, const QByteArray &bytes)
{
    const QByteArray seen = link.tail + bytes.toLower();
    std::function<void()> action;
    std::optional<Fault> fault;
    {
        std::lock_guard lock(m_mutex);
        for (auto rule = m_rules.begin(); rule != m_rules.end();) {
            // Each time the text ends in these bytes.
            qsizetype from = qMax<qsizetype>(0, link.tail.size() - rule->text.size() + 1);
            while (rule->count > 0 && rule->connection == link.number
                   && (from = seen.indexOf(rule->text, from)) >= 0) {
                --rule->count;
                from += rule->text.size();
            }
            if (rule->count == 0 && rule->connection == link.number) {
                if (rule->action)
                    action = std::move(rule->action);
                else
                    fault = rule->fault;
                rule = m_rules.erase(rule);
            } else {
                ++rule;
            }
        }
    }
    link.tail = seen.right(64);
    if (action)
        action();
    if (fault == Fault::Drop)
        return false;
    if (fault == Fault::Freeze) {
        link.frozen = true;
        return true;
    }
    return ::write(link.server, bytes.constData(), size_t(bytes.size())) == bytes.size();
}
