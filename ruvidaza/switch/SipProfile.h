#pragma once

#include "SipStack.h"

#include <QObject>
#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <thread>

// One SIP profile of the switch ("internal" or "external"): a UDP socket on
// the profile's address and port, run by the shared user agent stack, and a
// thread that hands every stack event to the owner thread's event loop.
//
// A flood of new requests cannot pile up without bound: while more than
// MaxBacklog events wait for the owner thread, or MaxTransactions are open
// in the stack, further new requests are answered "503 Service Unavailable"
// on the spot and dropped.
class SipProfile
{
public:
    using EventHandler = std::function<void(SipProfile &, SipStackEvent &)>;

    // `owner` is the QObject whose thread receives the events.
    SipProfile(const QString &name, QObject *owner, EventHandler handler,
               const SipStackConfig &config = defaultConfig());

    // The stack settings of a profile: the standard timers, and a cap on
    // the transactions kept at once.
    static SipStackConfig defaultConfig();
    ~SipProfile();
    SipProfile(const SipProfile &) = delete;
    SipProfile &operator=(const SipProfile &) = delete;

    // Binds ip:port and starts the stack and the event thread. False with a
    // reason when the port cannot be bound.
    bool open(const QString &ip, int port, QString *error);
    // Stops the thread and the stack; sends nothing.
    void close();

    const QString &name() const { return m_name; }
    int port() const { return m_stack.listenPort(); }
    QString ip() const { return m_ip; }
    SipStack &stack() { return m_stack; }

    static constexpr int MaxBacklog = 2000;
    static constexpr int MaxTransactions = 20000;
    // New requests turned away by the backlog limit since open().
    uint64_t shedRequests() const { return m_shed; }

private:
    void pump();

    QString m_name;
    QString m_ip;
    QObject *m_owner;
    EventHandler m_handler;
    SipStack m_stack;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    std::atomic<int> m_backlog{0};
    std::atomic<uint64_t> m_shed{0};
    // Shared with queued deliveries so that events still in the owner's
    // queue after close() are dropped instead of reaching a dead profile.
    std::shared_ptr<std::atomic<bool>> m_alive;
};
