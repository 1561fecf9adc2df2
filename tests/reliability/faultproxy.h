#pragma once

#include "testplatform.h"

#include <QByteArray>

#include <atomic>
#include <functional>
#include <list>
#include <mutex>
#include <thread>

// A TCP proxy on 127.0.0.1 in front of a database server that cuts in where a
// test wants: when a client's bytes on its n-th connection (counted from 1 as
// they come) have held a text (compared without regard to case) for the k-th
// time since the rule was added, the proxy runs the test's action, then
// passes the bytes on, or freezes the connection (nothing passes any more,
// either way: a server that stops answering), or drops it (both sides closed,
// the bytes lost).
class FaultProxy
{
public:
    enum class Fault { Pass, Freeze, Drop };

    explicit FaultProxy(int serverPort);
    ~FaultProxy();
    FaultProxy(const FaultProxy &) = delete;
    FaultProxy &operator=(const FaultProxy &) = delete;

    // 0 when it could not listen.
    int port() const { return m_port; }
    void add(int connection, const QByteArray &text, int count, Fault fault, std::function<void()> action = {});

private:
    struct Rule
    {
        int connection;
        QByteArray text;
        int count;
        Fault fault;
        std::function<void()> action;
    };
    struct Link
    {
        int number;
        TestSocket client;
        TestSocket server;
        bool frozen = false;
        QByteArray tail = {}; // the client's last bytes, for a text cut in two
    };
    void run();
    void accept();
    // Reads what came on one side and passes it on; false when the link ends.
    bool pass(Link &link, TestSocket from);

    int m_serverPort;
    TestSocket m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stop = false;
    int m_connections = 0;
    std::list<Link> m_links;
    std::mutex m_mutex; // guards m_rules
    std::list<Rule> m_rules;
    std::thread m_thread;
};
