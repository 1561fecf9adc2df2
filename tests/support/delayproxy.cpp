#include "delayproxy.h"

#include <algorithm>
#include <vector>

DelayProxy::DelayProxy(int serverPort, std::chrono::milliseconds eachWay)
    : m_serverPort(serverPort)
    , m_delay(eachWay)
{
    m_listener = listenOnLoopback(&m_port);
    if (m_listener != -1)
        m_thread = std::thread([this] { run(); });
}

DelayProxy::~DelayProxy()
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

int DelayProxy::millisecondsToNext() const
{
    Clock::time_point next = Clock::now() + std::chrono::milliseconds(50);
    for (const Link &link : m_links) {
        for (const std::deque<Held> *held : {&link.toServer, &link.toClient}) {
            if (!held->empty())
                next = std::min(next, held->front().due);
        }
    }
    const auto wait = std::chrono::ceil<std::chrono::milliseconds>(next - Clock::now());
    return int(std::max<qint64>(0, wait.count()));
}

void DelayProxy::run()
{
    while (!m_stop) {
        QList<TestSocket> watched{m_listener};
        std::vector<std::pair<Link *, bool>> of{{nullptr, false}};
        for (Link &link : m_links) {
            watched << link.client << link.server;
            of.push_back({&link, true});
            of.push_back({&link, false});
        }
        const QList<bool> readable = readableSockets(watched, millisecondsToNext());
        if (readable[0]) {
            const TestSocket client = acceptConnection(m_listener);
            const TestSocket server = client == -1 ? -1 : connectToLoopback(m_serverPort);
            if (server != -1)
                m_links.push_back({client, server});
            else
                closeSocket(client);
        }
        for (qsizetype i = 1; i < watched.size(); ++i) {
            Link &link = *of[size_t(i)].first;
            if (readable[i] && !link.ended && !take(link, of[size_t(i)].second))
                link.ended = true;
        }
        m_links.remove_if([](Link &link) {
            const bool end = link.ended || !deliver(link.toServer, link.server, link, false)
                             || !deliver(link.toClient, link.client, link, true);
            if (end) {
                closeSocket(link.client);
                closeSocket(link.server);
            }
            return end;
        });
    }
}

bool DelayProxy::take(Link &link, bool fromClient)
{
    char buffer[65536];
    const qsizetype got = receiveBytes(fromClient ? link.client : link.server, buffer, sizeof buffer);
    if (got <= 0)
        return false;
    if (fromClient && link.answered) {
        ++m_turns;
        link.answered = false;
    }
    (fromClient ? link.toServer : link.toClient).push_back({Clock::now() + m_delay, QByteArray(buffer, got)});
    return true;
}

bool DelayProxy::deliver(std::deque<Held> &held, TestSocket to, Link &link, bool toClient)
{
    while (!held.empty() && held.front().due <= Clock::now()) {
        if (!sendBytes(to, held.front().bytes.constData(), held.front().bytes.size()))
            return false;
        held.pop_front();
        link.answered = link.answered || toClient;
    }
    return true;
}
