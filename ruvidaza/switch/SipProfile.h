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
class SipProfile
{
public:
    using EventHandler = std::function<void(SipProfile &, SipStackEvent &)>;

    // `owner` is the QObject whose thread receives the events.
    SipProfile(const QString &name, QObject *owner, EventHandler handler,
               const SipStackConfig &config = SipStackConfig());
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

private:
    void pump();

    QString m_name;
    QString m_ip;
    QObject *m_owner;
    EventHandler m_handler;
    SipStack m_stack;
    std::thread m_thread;
    std::atomic<bool> m_running{false};
    // Shared with queued deliveries so that events still in the owner's
    // queue after close() are dropped instead of reaching a dead profile.
    std::shared_ptr<std::atomic<bool>> m_alive;
};
