#include "HttpCapture.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

HttpCapture::HttpCapture()
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(addr);
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 || ::listen(m_fd, 8) != 0
        || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&addr), &len) != 0)
        return;
    m_port = ntohs(addr.sin_port);
    m_thread = std::thread([this] { serve(); });
}

HttpCapture::~HttpCapture()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

QList<QByteArray> HttpCapture::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

void HttpCapture::serve()
{
    while (!m_stop) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            continue;
        QByteArray req;
        for (int guard = 0; guard < 200; ++guard) {
            pollfd cp{c, POLLIN, 0};
            if (::poll(&cp, 1, 50) <= 0)
                continue;
            char buf[2048];
            const ssize_t n = ::recv(c, buf, sizeof(buf), 0);
            if (n <= 0)
                break;
            req.append(buf, int(n));
            const int end = req.indexOf("\r\n\r\n");
            if (end >= 0) {
                const int cl = req.indexOf("Content-Length: ");
                const int want = cl >= 0 ? req.mid(cl + 16).split('\r').first().toInt() : 0;
                if (req.size() >= end + 4 + want)
                    break;
            }
        }
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_requests << req;
        }
        const char answer[] = "HTTP/1.1 200 OK\r\nContent-Length: 7\r\nConnection: close\r\n\r\nSuccess";
        [[maybe_unused]] const ssize_t w = ::send(c, answer, sizeof(answer) - 1, MSG_NOSIGNAL);
        ::close(c);
    }
}
