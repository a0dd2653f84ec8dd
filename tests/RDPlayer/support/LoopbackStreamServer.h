#pragma once

#include <QByteArray>

#include <atomic>
#include <thread>

// A one-connection-at-a-time HTTP source on 127.0.0.1 for player tests: it
// answers any request with `body`, sending at most `sendLimit` bytes
// (negative: all of it, then closing) and then holding the connection open
// without sending more, as a stalled live source does. With `silent` it
// accepts and never answers.
class LoopbackStreamServer
{
public:
    LoopbackStreamServer(const QByteArray &body, qint64 sendLimit, bool silent = false);
    ~LoopbackStreamServer();

    int port() const { return m_port; }
    QByteArray url(const char *path = "/stream") const;

private:
    void serve();

    QByteArray m_body;
    qint64 m_sendLimit;
    bool m_silent;
    int m_listener = -1;
    int m_wake[2] = {-1, -1};
    int m_port = 0;
    std::thread m_thread;
};
