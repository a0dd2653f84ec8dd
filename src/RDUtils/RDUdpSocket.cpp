#include "RDUdpSocket.h"

#include <cerrno>
#include <sys/socket.h>

RDUdpSocket::RDUdpSocket()
    : RDSocket(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0))
{
}

RDUdpSocket::~RDUdpSocket()
{
    closeImpl();
}

bool RDUdpSocket::isBroken(int, int)
{
    return false;
}

int RDUdpSocket::connect(const RDSocketAddress &address)
{
    m_address = address;
    const sockaddr_in addr = address.toSockaddr();
    const int fd = m_handle.load();
    if (::connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof(addr)) != 0) {
        m_lastError = errno;
        close();
        m_address.clear();
        return -1;
    }
    return fd;
}

void RDUdpSocket::close()
{
    closeImpl();
}

int RDUdpSocket::send(const char *data, int length)
{
    return sendImpl(data, length);
}

int RDUdpSocket::recv(char *buffer, int length)
{
    return recvImpl(buffer, length);
}

int RDUdpSocket::sendTo(const RDSocketAddress &address, const char *data, int length)
{
    return sendToImpl(address, data, length);
}

int RDUdpSocket::recvFrom(RDSocketAddress &address, char *buffer, int length)
{
    return recvFromImpl(address, buffer, length);
}

int RDUdpSocket::setBroadcast()
{
    const int on = 1;
    const int rc = setsockopt(m_handle.load(), SOL_SOCKET, SO_BROADCAST, &on, sizeof(on));
    if (rc != 0)
        m_lastError = errno;
    return rc;
}
