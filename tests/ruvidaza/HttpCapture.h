#pragma once

#include <QByteArray>
#include <QList>
#include <atomic>
#include <mutex>
#include <thread>

// A loopback HTTP listener on its own thread that records each request and
// answers "200 Success". Its own thread, so it answers while the test's
// thread is blocked waiting for a console client.
class HttpCapture
{
public:
    HttpCapture();
    ~HttpCapture();
    int port() const { return m_port; }
    QList<QByteArray> requests() const;

private:
    void serve();

    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    mutable std::mutex m_mutex;
    QList<QByteArray> m_requests;
    std::thread m_thread;
};
