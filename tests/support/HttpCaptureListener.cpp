#include "HttpCaptureListener.h"

#include <QUrl>
#include <QUrlQuery>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

HttpCaptureListener::HttpCaptureListener(Callback onRequest) : m_onRequest(std::move(onRequest))
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof(a);
    if (m_fd < 0 || !m_stop.isValid() || ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)) != 0
        || ::listen(m_fd, 16) != 0 || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return;
    m_port = ntohs(a.sin_port);
    m_thread = std::thread([this] { serve(); });
}

HttpCaptureListener::~HttpCaptureListener()
{
    m_stop.signal();
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

QList<QByteArray> HttpCaptureListener::requests() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_requests;
}

QVector<QMap<QString, QString>> HttpCaptureListener::forms() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_forms;
}

void HttpCaptureListener::serve()
{
    for (;;) {
        if (m_stop.waitFor(m_fd, false, -1) != PlatformWakeEvent::Wait::Ready)
            return;
        const int c = ::accept4(m_fd, nullptr, nullptr, SOCK_CLOEXEC);
        if (c >= 0)
            answer(c);
    }
}

void HttpCaptureListener::answer(int connection)
{
    QByteArray request;
    int bodyAt = -1;
    int length = 0;
    char buf[4096];
    // A request that stalls for two seconds is taken as it is.
    while (m_stop.waitFor(connection, false, 2000) == PlatformWakeEvent::Wait::Ready) {
        const ssize_t n = ::recv(connection, buf, sizeof(buf), 0);
        if (n <= 0)
            break;
        request.append(buf, int(n));
        if (bodyAt < 0 && (bodyAt = request.indexOf("\r\n\r\n")) >= 0) {
            bodyAt += 4;
            for (const QByteArray &line : request.left(bodyAt).split('\n')) {
                if (line.toLower().startsWith("content-length:"))
                    length = line.mid(15).trimmed().toInt();
            }
        }
        if (bodyAt >= 0 && request.size() >= bodyAt + length)
            break;
    }
    QMap<QString, QString> form;
    if (bodyAt >= 0) {
        const QUrlQuery query(QString::fromUtf8(request.mid(bodyAt, length)));
        for (const auto &item : query.queryItems(QUrl::FullyDecoded))
            form.insert(item.first, item.second);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_requests << request;
        m_forms << form;
    }
    if (m_onRequest)
        m_onRequest(form);
    static const char ok[] = "HTTP/1.1 200 OK\r\nContent-Type: text/plain\r\nContent-Length: 7\r\nConnection: close\r\n\r\nSuccess";
    [[maybe_unused]] const ssize_t w = ::send(connection, ok, sizeof(ok) - 1, MSG_NOSIGNAL);
    ::close(connection);
}
