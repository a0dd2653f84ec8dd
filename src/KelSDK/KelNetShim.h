#pragma once
// Temporary stand-ins with the interface of the foundation's socket
// classes, used until those land; removed then.

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <string>
#include <sys/select.h>
#include <sys/socket.h>
#include <unistd.h>
#include <cerrno>

namespace kelshim {

struct RDSocketAddress {
    RDSocketAddress() = default;
    RDSocketAddress(const std::string &h, int p) : host(h), port(p) {}
    std::string host;
    int port = 0;
    sockaddr_in toSockaddr() const
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_port = htons(uint16_t(port));
        a.sin_addr.s_addr = inet_addr(host.empty() ? "0.0.0.0" : host.c_str());
        return a;
    }
    static RDSocketAddress fromSockaddr(const sockaddr_in &a)
    {
        char buf[64] = {0};
        inet_ntop(AF_INET, &a.sin_addr, buf, sizeof buf);
        return RDSocketAddress(buf, ntohs(a.sin_port));
    }
};

class RDSocket
{
public:
    explicit RDSocket(int fd) : m_fd(fd) {}
    virtual ~RDSocket() { close(); }
    bool isValid() const { return m_fd != -1; }
    void close()
    {
        if (m_fd > 0) {
            ::shutdown(m_fd, SHUT_RDWR);
            ::close(m_fd);
        }
        m_fd = -1;
    }
    int closeHandle()
    {
        close();
        return 0;
    }
    int setNonBlocking() { return fcntl(m_fd, F_SETFL, fcntl(m_fd, F_GETFL) | O_NONBLOCK); }
    int setReuseAddress(int v) { return setsockopt(m_fd, SOL_SOCKET, SO_REUSEADDR, &v, sizeof v); }
    int waitReadable(int sec, int usec)
    {
        if (m_fd < 0)
            return -1;
        fd_set set;
        FD_ZERO(&set);
        FD_SET(m_fd, &set);
        timeval tv{sec, usec};
        const int r = select(m_fd + 1, &set, nullptr, nullptr, &tv);
        if (r <= 0)
            return r;
        return FD_ISSET(m_fd, &set) ? r : 0;
    }
    int bind(const RDSocketAddress &a)
    {
        sockaddr_in s = a.toSockaddr();
        return ::bind(m_fd, reinterpret_cast<sockaddr *>(&s), sizeof s) == 0 ? 0 : -1;
    }
    int send(const void *b, int n)
    {
        const int r = int(::send(m_fd, b, size_t(n), MSG_NOSIGNAL));
        check(r);
        return r;
    }
    int recv(void *b, int n)
    {
        const int r = int(::recv(m_fd, b, size_t(n), 0));
        check(r);
        return r;
    }
    int sendTo(const RDSocketAddress &a, const void *b, int n)
    {
        sockaddr_in s = a.toSockaddr();
        return int(::sendto(m_fd, b, size_t(n), 0, reinterpret_cast<sockaddr *>(&s), sizeof s));
    }
    int recvFrom(RDSocketAddress &a, void *b, int n)
    {
        sockaddr_in s{};
        socklen_t l = sizeof s;
        const int r = int(::recvfrom(m_fd, b, size_t(n), 0, reinterpret_cast<sockaddr *>(&s), &l));
        if (r > 0)
            a = RDSocketAddress::fromSockaddr(s);
        return r;
    }
    int handle() const { return m_fd; }

protected:
    void check(int r)
    {
        if (r > 0)
            return;
        if (r == 0 || (errno != 0 && errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
            close();
    }
    int m_fd;
};

class RDTcpSocket : public RDSocket
{
public:
    RDTcpSocket() : RDSocket(::socket(AF_INET, SOCK_STREAM, 0)) {}
    explicit RDTcpSocket(int fd) : RDSocket(fd) {}
};

class RDUdpSocket : public RDSocket
{
public:
    RDUdpSocket() : RDSocket(::socket(AF_INET, SOCK_DGRAM, 0)) {}
    int setBroadcast()
    {
        int one = 1;
        return setsockopt(m_fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    }
};

class RDTcpSocketServer : public RDSocket
{
public:
    RDTcpSocketServer() : RDSocket(-1) {}
    int listen(const RDSocketAddress &a)
    {
        m_fd = ::socket(AF_INET, SOCK_STREAM, 0);
        setReuseAddress(1);
        if (bind(a) != 0 || ::listen(m_fd, 16) != 0) {
            close();
            return -1;
        }
        return m_fd;
    }
    RDTcpSocket *accept()
    {
        const int fd = ::accept(m_fd, nullptr, nullptr);
        return fd < 0 ? nullptr : new RDTcpSocket(fd);
    }
};

} // namespace kelshim
