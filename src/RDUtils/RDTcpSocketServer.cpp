#include "RDTcpSocketServer.h"

#include "RDTcpSocket.h"

#include <cerrno>
#include <cstring>
#include <sys/socket.h>
#include <unistd.h>

RDTcpSocketServer::~RDTcpSocketServer()
{
    close();
}

int RDTcpSocketServer::listen(const RDSocketAddress &address)
{
    close(); // a second listen must not leak the first socket
    // Only a dotted address: Linux would accept a bind to INADDR_NONE
    // (255.255.255.255), and a name would then "listen" nowhere useful.
    if (!RDSocketAddress::isDottedQuad(address.host)) {
        m_lastError = EADDRNOTAVAIL;
        return -1;
    }
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        m_lastError = errno;
        return -1;
    }
    m_handle.store(fd);
    const int on = 1;
    if (setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof(on)) != 0) {
        m_lastError = errno;
        close();
        return -1;
    }
    const sockaddr_in addr = address.toSockaddr();
    if (::bind(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof(addr)) != 0
        || ::listen(fd, m_backlog) != 0) {
        m_lastError = errno;
        close();
        return -1;
    }
    m_address = address;
    sockaddr_in bound;
    socklen_t len = sizeof(bound);
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&bound), &len) == 0)
        m_address.port = ntohs(bound.sin_port);
    return fd;
}

void RDTcpSocketServer::close()
{
    const int fd = m_handle.exchange(-1);
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
        m_address.clear();
    }
}

int RDTcpSocketServer::closeHandle()
{
    const int fd = m_handle.exchange(-1);
    if (fd < 0)
        return fd;
    ::shutdown(fd, SHUT_RDWR);
    return ::close(fd);
}

RDTcpSocket *RDTcpSocketServer::accept()
{
    return RDTcpSocket::acceptFrom(m_handle.load(), m_lastError);
}
