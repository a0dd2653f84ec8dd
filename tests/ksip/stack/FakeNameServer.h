#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A UDP socket on 127.0.0.1 posing as a name server. Silent, it only counts
// queries; answering, it gives every A query one record, 127.0.0.1, with a
// time to live of 60 s.
class FakeNameServer
{
public:
    explicit FakeNameServer(bool answers);
    ~FakeNameServer();
    FakeNameServer(const FakeNameServer &) = delete;
    FakeNameServer &operator=(const FakeNameServer &) = delete;

    int port() const { return m_port; }
    int queries() const { return m_queries.load(); }
    // The names asked for, in order.
    std::vector<std::string> asked() const;

private:
    void serve(bool answers);

    int m_fd = -1;
    int m_port = 0;
    std::atomic<bool> m_running{true};
    std::atomic<int> m_queries{0};
    mutable std::mutex m_askedLock;
    std::vector<std::string> m_asked;
    std::thread m_thread;
};
