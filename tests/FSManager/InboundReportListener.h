#pragma once

#include <QMap>
#include <QString>
#include <atomic>
#include <functional>
#include <thread>

// A loopback HTTP listener on its own thread standing in for the program's
// "/fs/conference" route: each form-encoded request body is handed to the
// callback before the answer goes out, as the route does, and then answered
// "Success". Its own thread, so it answers while the test's thread waits for
// a console client.
class InboundReportListener
{
public:
    using Callback = std::function<void(const QMap<QString, QString> &fields)>;
    explicit InboundReportListener(Callback callback);
    ~InboundReportListener();
    int port() const { return m_port; }
    int requests() const { return m_requests.load(); }

private:
    void serve();

    Callback m_callback;
    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_requests{0};
    std::thread m_thread;
};
