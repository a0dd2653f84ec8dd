#include "StubStreamServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>

StubStreamServer::StubStreamServer(Mode mode, const QByteArray &body)
    : m_mode(mode)
    , m_body(body)
{
    m_listen = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_listen, reinterpret_cast<sockaddr *>(&a), sizeof(a));
    ::listen(m_listen, 16);
    socklen_t len = sizeof(a);
    ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&a), &len);
    m_port = ntohs(a.sin_port);
    m_wake = ::eventfd(0, EFD_CLOEXEC);
    m_thread = std::thread([this] { loop(); });
}

StubStreamServer::~StubStreamServer()
{
    const uint64_t one = 1;
    (void)!::write(m_wake, &one, sizeof(one));
    m_thread.join();
    for (int fd : m_held)
        ::close(fd);
    ::close(m_listen);
    ::close(m_wake);
}

QByteArray StubStreamServer::url(const char *path) const
{
    return "http://127.0.0.1:" + QByteArray::number(m_port) + path;
}

int StubStreamServer::connections() const
{
    std::lock_guard<std::mutex> lock(m_lock);
    return m_connections;
}

bool StubStreamServer::waitConnections(int n, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return m_connections >= n; });
}

void StubStreamServer::loop()
{
    for (;;) {
        pollfd fds[2] = {{m_listen, POLLIN, 0}, {m_wake, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0)
            continue;
        if (fds[1].revents)
            return;
        const int fd = ::accept4(m_listen, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            continue;
        {
            std::lock_guard<std::mutex> lock(m_lock);
            ++m_connections;
        }
        m_changed.notify_all();
        if (m_mode == Hang) {
            m_held.push_back(fd);
            continue;
        }
        // Read the request head (bounded), then answer.
        char buf[2048];
        pollfd in = {fd, POLLIN, 0};
        if (::poll(&in, 1, 2000) > 0)
            (void)!::recv(fd, buf, sizeof(buf), 0);
        QByteArray reply = "HTTP/1.0 200 OK\r\nContent-Type: audio/mpeg\r\n\r\n";
        if (m_mode == Garbage) {
            QByteArray junk(64 * 1024, '\0');
            for (int i = 0; i < junk.size(); ++i)
                junk[i] = char((i * 7919 + 13) & 0xff);
            reply += junk;
        } else {
            reply += m_body;
        }
        const char *p = reply.constData();
        int left = reply.size();
        while (left > 0) {
            const ssize_t n = ::send(fd, p, size_t(left), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            p += n;
            left -= int(n);
        }
        ::close(fd);
    }
}
