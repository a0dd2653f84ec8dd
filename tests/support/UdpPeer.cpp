#include "UdpPeer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace PaTest {

UdpPeer::UdpPeer(int port)
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    socklen_t len = sizeof sa;
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0
        || ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&sa), &len) != 0) {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = -1;
        return;
    }
    m_port = ntohs(sa.sin_port);
}

UdpPeer::~UdpPeer()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool UdpPeer::sendTo(int port, const std::vector<uint8_t> &data)
{
    return sendTo(port, data.data(), static_cast<int>(data.size()));
}

bool UdpPeer::sendTo(int port, const uint8_t *data, int length)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    sa.sin_port = htons(static_cast<uint16_t>(port));
    return m_fd >= 0
        && ::sendto(m_fd, data, length, 0, reinterpret_cast<sockaddr *>(&sa), sizeof sa) == length;
}

std::vector<uint8_t> UdpPeer::receive(int timeoutMs)
{
    pollfd p{m_fd, POLLIN, 0};
    if (m_fd < 0 || ::poll(&p, 1, timeoutMs) <= 0)
        return {};
    std::vector<uint8_t> buf(65536);
    const ssize_t n = ::recv(m_fd, buf.data(), buf.size(), 0);
    buf.resize(n > 0 ? size_t(n) : 0);
    return buf;
}

} // namespace PaTest
