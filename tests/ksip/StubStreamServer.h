#pragma once

#include <QByteArray>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

// A tiny HTTP source on 127.0.0.1 for the stream reader tests. Each
// connection is answered by the mode: Hang never answers (the socket stays
// open until the server goes), Garbage answers 200 with bytes no demuxer
// takes, Serve answers 200 with the body and closes. Counts connections.
class StubStreamServer
{
public:
    enum Mode { Hang, Garbage, Serve };

    StubStreamServer(Mode mode, const QByteArray &body = QByteArray());
    ~StubStreamServer();
    StubStreamServer(const StubStreamServer &) = delete;
    StubStreamServer &operator=(const StubStreamServer &) = delete;

    int port() const { return m_port; }
    QByteArray url(const char *path = "/live") const;
    int connections() const;
    // Waits until at least `n` connections came; false after `timeoutMs`.
    bool waitConnections(int n, int timeoutMs);

private:
    void loop();

    const Mode m_mode;
    const QByteArray m_body;
    int m_listen = -1;
    int m_wake = -1;
    int m_port = 0;
    std::vector<int> m_held;
    mutable std::mutex m_lock;
    std::condition_variable m_changed;
    int m_connections = 0;
    std::thread m_thread;
};
