#pragma once

#include <QByteArray>

#include <functional>
#include <list>
#include <mutex>
#include <thread>

// A TCP proxy on 127.0.0.1 in front of a database server that cuts in where a
// test wants: when a client's bytes on its n-th connection (counted from 1 as
// they come) have held a text for the k-th time since the rule was added, the
// proxy freezes that connection (nothing passes any more, either way: a
// server that stops answering), drops it (both sides closed, those bytes
// lost), or runs the test's action before it passes them on.
class FaultProxy
{
public:
    enum class Fault { Freeze, Drop };

    explicit FaultProxy(int serverPort);
    ~FaultProxy();
    FaultProxy(const FaultProxy &) = delete;
    FaultProxy &operator=(const FaultProxy &) = delete;

    // 0 when it could not listen.
    int port() const { return m_port; }
    // text is compared without regard to case.
    void add(int connection, const QByteArray &text, int count, Fault fault);
    void add(int connection, const QByteArray &text, int count, std::function<void()> action);

private:
    struct Rule
    {
        int connection;
        QByteArray text;
        int count;
        std::function<void()> action; // unset: fault
        Fault fault;
    };
    struct Link
    {
        int number;
        int client;
        int server;
        bool frozen = false;
        QByteArray tail; // the client's last bytes, for a text cut in two
    };
    void run();
    void accept();
    // What the client's bytes do; false when the link is dropped.
    bool passOn(Link &link, const QByteArray &bytes);

    int m_serverPort;
    int m_listener = -1;
    int m_port = 0;
    int m_wake[2] = {-1, -1};
    int m_connections = 0;
    std::list<Link> m_links;
    std::mutex m_mutex; // guards m_rules
    std::list<Rule> m_rules;
    std::thread m_thread;
};
