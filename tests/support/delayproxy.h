#pragma once

#include "testplatform.h"

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <deque>
#include <list>
#include <thread>

// A TCP proxy on 127.0.0.1 in front of a database server that holds every
// piece of bytes a while on its way, each way alike, as a link of twice
// that round trip does; nothing of the machine's network settings changes.
// It counts the client's turns: the times it sends after an answer reached
// it, which is the round trips that the link's delay costs.
class DelayProxy
{
public:
    DelayProxy(int serverPort, std::chrono::milliseconds eachWay);
    ~DelayProxy();
    DelayProxy(const DelayProxy &) = delete;
    DelayProxy &operator=(const DelayProxy &) = delete;

    // 0 when it could not listen.
    int port() const { return m_port; }
    // Over every connection since it was made.
    int turns() const { return m_turns; }

private:
    using Clock = std::chrono::steady_clock;
    struct Held
    {
        Clock::time_point due;
        QByteArray bytes;
    };
    struct Link
    {
        TestSocket client;
        TestSocket server;
        std::deque<Held> toServer = {};
        std::deque<Held> toClient = {};
        bool answered = true; // the client got bytes since it last sent
        bool ended = false;
    };
    void run();
    // How long until the next bytes are due, at most a twentieth of a second.
    int millisecondsToNext() const;
    // Reads what came on one side and holds it; false when that side closed.
    bool take(Link &link, bool fromClient);
    // Passes on what is due; false when that failed.
    static bool deliver(std::deque<Held> &held, TestSocket to, Link &link, bool toClient);

    const int m_serverPort;
    const std::chrono::milliseconds m_delay;
    TestSocket m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop = false;
    std::atomic<int> m_turns = 0;
    std::list<Link> m_links;
    std::thread m_thread;
};
