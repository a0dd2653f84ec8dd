#include "SipStackTransport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

SipStackTransport::SipStackTransport()
{
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

SipStackTransport::~SipStackTransport()
{
    close();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

int SipStackTransport::open(const std::string &address, int port)
{
    close();
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (address.empty() || address == "0.0.0.0") {
        sa.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        return -EINVAL;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -errno;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        const int err = errno;
        ::close(fd);
        return -err;
    }
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
    m_fd = fd;
    m_port = ntohs(sa.sin_port);
    m_address = (address == "0.0.0.0") ? std::string() : address;
    return 0;
}

void SipStackTransport::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_port = 0;
}

int SipStackTransport::send(const std::string &host, int port, const char *data, size_t length)
{
    if (m_fd < 0 || port <= 0 || port > 65535 || host.empty())
        return -1;
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, host.c_str(), &sa.sin_addr) != 1) {
        addrinfo hints{};
        hints.ai_family = AF_INET;
        hints.ai_socktype = SOCK_DGRAM;
        addrinfo *res = nullptr;
        if (::getaddrinfo(host.c_str(), nullptr, &hints, &res) != 0 || !res)
            return -1;
        sa.sin_addr = reinterpret_cast<sockaddr_in *>(res->ai_addr)->sin_addr;
        ::freeaddrinfo(res);
    }
    const ssize_t sent = ::sendto(m_fd, data, length, 0, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

bool SipStackTransport::wait(int timeoutMs)
{
    pollfd fds[2];
    int count = 0;
    if (m_fd >= 0) {
        fds[count].fd = m_fd;
        fds[count].events = POLLIN;
        fds[count].revents = 0;
        ++count;
    }
    const int wakeIndex = count;
    fds[count].fd = m_wakeFd;
    fds[count].events = POLLIN;
    fds[count].revents = 0;
    ++count;
    const int ready = ::poll(fds, count, timeoutMs);
    if (ready <= 0)
        return false;
    if (fds[wakeIndex].revents & POLLIN) {
        uint64_t value = 0;
        while (::read(m_wakeFd, &value, sizeof value) > 0) {
        }
    }
    return m_fd >= 0 && (fds[0].revents & POLLIN);
}

long SipStackTransport::receive(char *buffer, size_t capacity, std::string &fromIp, int &fromPort)
{
    if (m_fd < 0)
        return 0;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const ssize_t got = ::recvfrom(m_fd, buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr *>(&sa), &len);
    if (got < 0)
        return 0;
    char ip[INET_ADDRSTRLEN] = {0};
    ::inet_ntop(AF_INET, &sa.sin_addr, ip, sizeof ip);
    fromIp = ip;
    fromPort = ntohs(sa.sin_port);
    if (static_cast<size_t>(got) > capacity)
        return static_cast<long>(capacity) + 1;
    return static_cast<long>(got);
}

void SipStackTransport::wake()
{
    const uint64_t one = 1;
    ssize_t ignored = ::write(m_wakeFd, &one, sizeof one);
    (void)ignored;
}
