#include "RDTcpSocket.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <sys/time.h>

RDTcpSocket::RDTcpSocket()
    : RDSocket(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0))
{
}

RDTcpSocket::RDTcpSocket(int acceptedHandle, const RDSocketAddress &peer)
    : RDSocket(acceptedHandle)
{
    m_address = peer;
}

RDTcpSocket::~RDTcpSocket()
{
    closeImpl();
}

int RDTcpSocket::connect(const RDSocketAddress &address)
{
    m_address = address;
    const std::string text = chooseHostText(address.host, false);
    const sockaddr_in addr = RDSocketAddress(text, address.port).toSockaddr();
    const int fd = m_handle.load();
    int rc;
    do {
        rc = ::connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof(addr));
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        m_lastError = errno;
        close();
        m_address.clear();
        return -1;
    }
    if (m_timeoutSeconds > 0 || m_timeoutMicroseconds >= 1)
        applyTimeouts();
    return fd;
}

void RDTcpSocket::close()
{
    closeImpl();
}

int RDTcpSocket::send(const char *data, int length)
{
    return sendImpl(data, length);
}

int RDTcpSocket::recv(char *buffer, int length)
{
    return recvImpl(buffer, length);
}

int RDTcpSocket::sendTo(const RDSocketAddress &, const char *, int)
{
    return -1;
}

int RDTcpSocket::recvFrom(RDSocketAddress &, char *, int)
{
    return -1;
}

int RDTcpSocket::listen(int backlog)
{
    if (::listen(m_handle.load(), backlog) != 0)
        return fail(-1);
    return 0;
}

RDTcpSocket *RDTcpSocket::accept()
{
    return acceptFrom(m_handle.load(), m_lastError);
}

RDTcpSocket *RDTcpSocket::acceptFrom(int listenHandle, int &lastError)
{
    sockaddr_in addr;
    socklen_t len = sizeof(addr);
    std::memset(&addr, 0, sizeof(addr));
    const int fd = ::accept4(listenHandle, reinterpret_cast<sockaddr *>(&addr), &len, SOCK_CLOEXEC);
    if (fd < 0) {
        lastError = errno;
        return nullptr;
    }
    RDSocketAddress peer;
    peer.fromSockaddr(addr);
    return new RDTcpSocket(fd, peer);
}

int RDTcpSocket::closeHandle()
{
    return closeHandleImpl();
}

int RDTcpSocket::applyTimeouts()
{
    // Linux takes a struct timeval for both options; a pair of ints of the
    // same size would be read as garbage or refused with EINVAL.
    const long long total = static_cast<long long>(m_timeoutSeconds) * 1000000LL + m_timeoutMicroseconds;
    timeval tv;
    tv.tv_sec = static_cast<time_t>(total / 1000000LL);
    tv.tv_usec = static_cast<suseconds_t>(total % 1000000LL);
    const int fd = m_handle.load();
    if (setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &tv, sizeof(tv)) != 0)
        m_lastError = errno;
    const int rc = setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &tv, sizeof(tv));
    if (rc != 0)
        m_lastError = errno;
    return rc;
}

int RDTcpSocket::setTimeouts(int seconds, int microseconds)
{
    m_timeoutSeconds = seconds;
    m_timeoutMicroseconds = microseconds;
    if (m_handle.load() == -1 || !(seconds > 0 || microseconds > 0))
        return 0;
    if (seconds < 0 || microseconds < 0) {
        m_lastError = EINVAL;
        return -1;
    }
    return applyTimeouts();
}

bool RDTcpSocket::hasTimeouts()
{
    return m_timeoutSeconds > 0 || m_timeoutMicroseconds > 0;
}
