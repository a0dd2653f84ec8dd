#include "InboundReportListener.h"

#include <QByteArray>
#include <QUrl>
#include <QUrlQuery>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

InboundReportListener::InboundReportListener(Callback callback) : m_callback(std::move(callback))
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = 0;
    socklen_t len = sizeof(a);
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != 0 || ::listen(m_fd, 8) != 0
        || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return;
    m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { serve(); });
}

InboundReportListener::~InboundReportListener()
{
    m_stop = true;
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

void InboundReportListener::serve()
{
    while (!m_stop) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        const int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            continue;
        QByteArray request;
        int bodyAt = -1;
        int length = 0;
        char buf[4096];
        while (!m_stop) {
            pollfd q{c, POLLIN, 0};
            if (::poll(&q, 1, 2000) <= 0)
                break;
            const ssize_t n = ::read(c, buf, sizeof(buf));
            if (n <= 0)
                break;
            request.append(buf, int(n));
            if (bodyAt < 0 && (bodyAt = request.indexOf("\r\n\r\n")) >= 0) {
                bodyAt += 4;
                const int h = request.indexOf("Content-Length: ");
                length = h >= 0 ? request.mid(h + 16, request.indexOf("\r\n", h) - h - 16).toInt() : 0;
            }
            if (bodyAt >= 0 && request.size() >= bodyAt + length)
                break;
        }
        QMap<QString, QString> fields;
        if (bodyAt >= 0) {
            QByteArray body = request.mid(bodyAt, length);
            body.replace('+', ' ');
            const QUrlQuery query(QString::fromUtf8(body));
            for (const auto &item : query.queryItems(QUrl::FullyDecoded))
                fields.insert(item.first, item.second);
        }
        ++m_requests;
        if (m_callback)
            m_callback(fields);
        static const char answer[] = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 7\r\n\r\nSuccess";
        (void)!::write(c, answer, sizeof(answer) - 1);
        ::close(c);
    }
}
