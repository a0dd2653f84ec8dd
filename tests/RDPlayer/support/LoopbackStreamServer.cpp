#include "LoopbackStreamServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

LoopbackStreamServer::LoopbackStreamServer(const QByteArray &body, qint64 sendLimit, bool silent)
    : m_body(body), m_sendLimit(sendLimit), m_silent(silent)
{
    if (::pipe(m_wake) != 0)
        return;
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (m_listener < 0 || ::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof(address)) != 0
        || ::listen(m_listener, 4) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0)
        return;
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

LoopbackStreamServer::~LoopbackStreamServer()
{
    if (m_wake[1] >= 0) {
        const char byte = 1;
        (void)!::write(m_wake[1], &byte, 1);
    }
    if (m_thread.joinable())
        m_thread.join();
    for (int fd : {m_listener, m_wake[0], m_wake[1]})
        if (fd >= 0)
            ::close(fd);
}

QByteArray LoopbackStreamServer::url(const char *path) const
{
    return "http://127.0.0.1:" + QByteArray::number(m_port) + path;
}

void LoopbackStreamServer::serve()
{
    std::vector<int> clients;
    for (;;) {
        std::vector<pollfd> fds{{m_wake[0], POLLIN, 0}, {m_listener, POLLIN, 0}};
        for (int client : clients)
            fds.push_back({client, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 10000) < 0 || (fds[0].revents & POLLIN))
            break;
        if (fds[1].revents & POLLIN) {
            const int client = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0)
                clients.push_back(client);
        }
        for (size_t i = 2; i < fds.size(); ++i) {
            if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            const int client = fds[i].fd;
            char request[4096];
            const ssize_t got = ::recv(client, request, sizeof(request), 0);
            if (got <= 0) {
                ::close(client);
                clients.erase(std::find(clients.begin(), clients.end(), client));
                continue;
            }
            if (m_silent)
                continue;
            const qint64 size = m_sendLimit < 0 ? m_body.size() : qMin<qint64>(m_sendLimit, m_body.size());
            const QByteArray head = "HTTP/1.1 200 OK\r\nContent-Type: application/octet-stream\r\nContent-Length: "
                + QByteArray::number(m_body.size()) + "\r\nConnection: close\r\n\r\n";
            ::send(client, head.constData(), size_t(head.size()), MSG_NOSIGNAL);
            ::send(client, m_body.constData(), size_t(size), MSG_NOSIGNAL);
            if (m_sendLimit < 0) {
                ::shutdown(client, SHUT_WR);
            }
        }
    }
    for (int client : clients)
        ::close(client);
}
