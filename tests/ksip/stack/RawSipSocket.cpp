#include "RawSipSocket.h"

#include <arpa/inet.h>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

RawSipSocket::RawSipSocket()
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(m_fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&sa), &len);
    m_port = ntohs(sa.sin_port);
}

RawSipSocket::~RawSipSocket()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RawSipSocket::sendTo(int port, const std::string &datagram)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    return ::sendto(m_fd, datagram.data(), datagram.size(), 0, reinterpret_cast<sockaddr *>(&sa), sizeof sa) ==
           static_cast<ssize_t>(datagram.size());
}

std::string RawSipSocket::receive(int timeoutMs)
{
    pollfd p{m_fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return std::string();
    char buffer[65536];
    const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
    return got > 0 ? std::string(buffer, static_cast<size_t>(got)) : std::string();
}

std::string RawSipSocket::receiveStarting(const std::string &prefix, int timeoutMs)
{
    using clock = std::chrono::steady_clock;
    const auto end = clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock::now()).count();
        if (left <= 0)
            return std::string();
        std::string datagram = receive(static_cast<int>(left));
        if (datagram.compare(0, prefix.size(), prefix) == 0)
            return datagram;
    }
}
