#include "faultproxy.h"

#include <algorithm>
#include <vector>

FaultProxy::FaultProxy(int serverPort)
    : m_serverPort(serverPort)
{
    m_listener = listenOnLoopback(&m_port);
    if (m_listener != -1)
        m_thread = std::thread([this] { run(); });
}

FaultProxy::~FaultProxy()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    for (const Link &link : m_links) {
        closeSocket(link.client);
        closeSocket(link.server);
    }
    closeSocket(m_listener);
}

void FaultProxy::add(int connection, const QByteArray &text, int count, Fault fault, std::function<void()> action)
{
    std::lock_guard lock(m_mutex);
    m_rules.push_back({connection, text.toLower(), count, fault, std::move(action)});
}

void FaultProxy::run()
{
    while (!m_stop) {
        QList<TestSocket> watched{m_listener};
        std::vector<Link *> of{nullptr};
        for (Link &link : m_links) {
            if (link.frozen)
                continue;
            for (const TestSocket side : {link.client, link.server}) {
                watched << side;
                of.push_back(&link);
            }
        }
        // Looks at m_stop again after a while.
        const QList<bool> readable = readableSockets(watched, 50);
        if (readable[0])
            accept();
        std::vector<Link *> ended;
        for (qsizetype i = 1; i < watched.size(); ++i) {
            if (readable[i] && !of[size_t(i)]->frozen && !pass(*of[size_t(i)], watched[i]))
                ended.push_back(of[size_t(i)]);
        }
        m_links.remove_if([&](const Link &link) {
            const bool end = std::find(ended.begin(), ended.end(), &link) != ended.end();
            if (end) {
                closeSocket(link.client);
                closeSocket(link.server);
            }
            return end;
        });
    }
}

void FaultProxy::accept()
{
    const TestSocket client = acceptConnection(m_listener);
    const TestSocket server = client == -1 ? -1 : connectToLoopback(m_serverPort);
    if (server != -1) {
        m_links.push_back({++m_connections, client, server});
        return;
    }
    closeSocket(client);
}

bool FaultProxy::pass(Link &link, TestSocket from)
{
    char buffer[16384];
    const qsizetype got = receiveBytes(from, buffer, sizeof buffer);
    if (got <= 0)
        return false; // one side closed: the other is closed too
    const QByteArray bytes(buffer, got);
    const TestSocket to = from == link.client ? link.server : link.client;
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
    return fault != Fault::Drop && (link.frozen || sendBytes(to, bytes.constData(), got));
}
