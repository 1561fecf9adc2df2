#include "faultproxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

namespace {

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(quint16(port));
    return address;
}

} // namespace

FaultProxy::FaultProxy(int serverPort)
    : m_serverPort(serverPort)
{
    sockaddr_in address = loopback(0);
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
        (void)::write(m_wake[1], "", 1);
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

void FaultProxy::add(int connection, const QByteArray &text, int count, Fault fault, std::function<void()> action)
{
    std::lock_guard lock(m_mutex);
    m_rules.push_back({connection, text.toLower(), count, fault, std::move(action)});
}

void FaultProxy::run()
{
    for (;;) {
        std::vector<pollfd> watched{{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        std::vector<Link *> of{nullptr, nullptr};
        for (Link &link : m_links) {
            if (link.frozen)
                continue;
            for (const int side : {link.client, link.server}) {
                watched.push_back({side, POLLIN, 0});
                of.push_back(&link);
            }
        }
        if (::poll(watched.data(), watched.size(), -1) < 0)
            continue;
        if (watched[0].revents)
            return;
        if (watched[1].revents)
            accept();
        std::vector<Link *> ended;
        for (std::size_t i = 2; i < watched.size(); ++i) {
            if (watched[i].revents && !of[i]->frozen && !pass(*of[i], watched[i].fd))
                ended.push_back(of[i]);
        }
        m_links.remove_if([&](const Link &link) {
            const bool end = std::find(ended.begin(), ended.end(), &link) != ended.end();
            if (end) {
                ::close(link.client);
                ::close(link.server);
            }
            return end;
        });
    }
}

void FaultProxy::accept()
{
    const int client = ::accept(m_listener, nullptr, nullptr);
    const int server = ::socket(AF_INET, SOCK_STREAM, 0);
    const sockaddr_in address = loopback(m_serverPort);
    if (client >= 0 && server >= 0 && ::connect(server, reinterpret_cast<const sockaddr *>(&address), sizeof address) == 0) {
        m_links.push_back({++m_connections, client, server});
        return;
    }
    for (const int descriptor : {client, server}) {
        if (descriptor >= 0)
            ::close(descriptor);
    }
}

bool FaultProxy::pass(Link &link, int from)
{
    char buffer[16384];
    const ssize_t got = ::read(from, buffer, sizeof buffer);
    if (got <= 0)
        return false; // one side closed: the other is closed too
    const QByteArray bytes(buffer, qsizetype(got));
    const int to = from == link.client ? link.server : link.client;
    Fault fault = Fault::Pass;
    std::function<void()> action;
    if (from == link.client) {
        const QByteArray seen = link.tail + bytes.toLower();
        std::lock_guard lock(m_mutex);
        for (auto rule = m_rules.begin(); rule != m_rules.end();) {
            // Each time the text ends in these bytes.
            for (qsizetype at = qMax<qsizetype>(0, link.tail.size() - rule->text.size() + 1);
                 rule->connection == link.number && rule->count > 0 && (at = seen.indexOf(rule->text, at)) >= 0;
                 at += rule->text.size())
                --rule->count;
            if (rule->count > 0 || rule->connection != link.number) {
                ++rule;
                continue;
            }
            fault = rule->fault;
            action = std::move(rule->action);
            rule = m_rules.erase(rule);
        }
        link.tail = seen.right(64);
    }
    if (action)
        action();
    link.frozen = fault == Fault::Freeze;
    return fault != Fault::Drop && (link.frozen || ::write(to, bytes.constData(), size_t(got)) == got);
}
