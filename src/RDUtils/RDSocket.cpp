#include "RDSocket.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

RDSocket::RDSocket(int handle)
    : m_handle(handle)
{
    if (handle < 0)
        m_lastError = errno;
}

RDSocket::~RDSocket() = default;

std::string RDSocket::chooseHostText(const std::string &host, bool forBind)
{
    if (forBind && host.empty())
        return "0.0.0.0";
    if (RDSocketAddress::isDottedQuad(host))
        return host;
    std::string text;
    if (RDSocketAddress::resolveHost(host, text) != 0)
        text.clear();
    return text;
}

int RDSocket::fail(int result)
{
    m_lastError = errno;
    return result;
}

int RDSocket::bind(const RDSocketAddress &address)
{
    const std::string text = chooseHostText(address.host, true);
    if (text.empty()) {
        m_lastError = EADDRNOTAVAIL;
        return -1;
    }
    const sockaddr_in addr = RDSocketAddress(text, address.port).toSockaddr();
    if (::bind(m_handle.load(), reinterpret_cast<const sockaddr *>(&addr), sizeof(addr)) != 0)
        return fail(-1);
    return 0;
}

int RDSocket::setReuseAddress(int on)
{
    if (setsockopt(m_handle.load(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0)
        return fail(-1);
    return 0;
}

bool RDSocket::isBroken(int result, int error)
{
    if (result != -1)
        return result < 1;
    return !(error == 0 || error == EINTR || error == EAGAIN || error == EWOULDBLOCK);
}

bool RDSocket::isValid()
{
    return m_handle.load() != -1;
}

int RDSocket::setNonBlocking()
{
    const int fd = m_handle.load();
    const int flags = fcntl(fd, F_GETFL, 0);
    if (flags == -1 || fcntl(fd, F_SETFL, flags | O_NONBLOCK) == -1)
        return fail(-1);
    return 0;
}

int RDSocket::waitReadable(int seconds, int microseconds)
{
    const int fd = m_handle.load();
    if (fd < 0) {
        m_lastError = EBADF;
        return -1;
    }
    // poll, not select: an fd_set holds descriptors below 1024 only, and a
    // server with one socket per connection passes that.
    const long long total = static_cast<long long>(seconds) * 1000000LL + microseconds;
    if (total < 0) {
        m_lastError = EINVAL;
        return -1;
    }
    timespec ts;
    ts.tv_sec = static_cast<time_t>(total / 1000000LL);
    ts.tv_nsec = static_cast<long>((total % 1000000LL) * 1000);
    pollfd p;
    p.fd = fd;
    p.events = POLLIN;
    p.revents = 0;
    const int rc = ppoll(&p, 1, &ts, nullptr);
    if (rc <= 0) {
        if (rc < 0)
            m_lastError = errno;
        return rc;
    }
    if (p.revents & POLLNVAL) {
        m_lastError = EBADF;
        return -1;
    }
    return (p.revents & (POLLIN | POLLHUP | POLLERR)) ? 1 : 0;
}

int RDSocket::finishCall(int rc)
{
    if (rc > 0)
        return rc;
    m_lastError = rc < 0 ? errno : 0;
    if (isBroken(rc, m_lastError))
        close();
    return rc;
}

int RDSocket::sendImpl(const char *data, int length)
{
    const int rc = static_cast<int>(::send(m_handle.load(), data, length < 0 ? 0 : length, MSG_NOSIGNAL));
    return finishCall(rc);
}

int RDSocket::recvImpl(char *buffer, int length)
{
    const int rc = static_cast<int>(::recv(m_handle.load(), buffer, length < 0 ? 0 : length, 0));
    return finishCall(rc);
}

int RDSocket::sendToImpl(const RDSocketAddress &address, const char *data, int length)
{
    const sockaddr_in addr = address.toSockaddr();
    const int rc = static_cast<int>(::sendto(m_handle.load(), data, length < 0 ? 0 : length, MSG_NOSIGNAL,
                                             reinterpret_cast<const sockaddr *>(&addr), sizeof(addr)));
    return finishCall(rc);
}

int RDSocket::recvFromImpl(RDSocketAddress &address, char *buffer, int length)
{
    sockaddr_in addr;
    socklen_t len = sizeof(addr);
    std::memset(&addr, 0, sizeof(addr));
    const int rc = static_cast<int>(::recvfrom(m_handle.load(), buffer, length < 0 ? 0 : length, 0,
                                               reinterpret_cast<sockaddr *>(&addr), &len));
    if (rc >= 0)
        address.fromSockaddr(addr);
    return finishCall(rc);
}

void RDSocket::closeImpl()
{
    // Only the caller that takes the descriptor clears the address: when an
    // owner closes the socket to wake its thread, that thread's own close
    // (after its call returned) must not touch the address at the same time.
    const int fd = m_handle.exchange(-1);
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        m_address.clear();
    }
}

int RDSocket::closeHandleImpl()
{
    const int fd = m_handle.exchange(-1);
    if (fd < 0)
        return fd;
    ::shutdown(fd, SHUT_RDWR);
    return ::close(fd);
}

int socketStartup()
{
    return 0;
}

int socketCleanup()
{
    return 0;
}

static bool portBindable(int type, uint16_t port, bool reuse)
{
    const int fd = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    if (reuse) {
        const int on = 1;
        setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on));
    }
    const sockaddr_in addr = RDSocketAddress("0.0.0.0", port).toSockaddr();
    const bool ok = ::bind(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return ok;
}

bool isTcpPortAvailable(uint16_t port)
{
    return portBindable(SOCK_STREAM, port, true);
}

bool isUdpPortAvailable(uint16_t port)
{
    return portBindable(SOCK_DGRAM, port, false);
}
