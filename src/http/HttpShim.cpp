#include "HttpShim.h"

#include <arpa/inet.h>
#include <cerrno>
#include <algorithm>
#include <cstdio>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace httpshim {

namespace {

int pollOne(int fd, short events, int timeoutMs)
{
    if (fd < 0)
        return -1;
    pollfd p {fd, events, 0};
    int r;
    do {
        r = ::poll(&p, 1, timeoutMs);
    } while (r < 0 && errno == EINTR);
    return r;
}

bool brokenResult(int r)
{
    if (r > 0)
        return false;
    if (r == 0)
        return true;
    return !(errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK);
}

} // namespace

TcpSocket::~TcpSocket()
{
    close();
}

int TcpSocket::send(const char *data, int length)
{
    const int r = static_cast<int>(::send(m_fd, data, length, MSG_NOSIGNAL));
    if (r <= 0 && brokenResult(r))
        close();
    return r;
}

int TcpSocket::recv(char *buffer, int length)
{
    const int r = static_cast<int>(::recv(m_fd, buffer, length, 0));
    if (r <= 0 && brokenResult(r))
        close();
    return r;
}

void TcpSocket::close()
{
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
}

int TcpSocket::closeHandle()
{
    const int fd = m_fd.load();
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
    return 0;
}

int TcpSocket::waitReadable(int timeoutMs)
{
    return pollOne(m_fd, POLLIN, timeoutMs);
}

int TcpSocket::waitWritable(int timeoutMs)
{
    return pollOne(m_fd, POLLOUT, timeoutMs);
}

TcpServer::~TcpServer()
{
    close();
}

int TcpServer::listen(const Address &address, int backlog)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    int one = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(address.port));
    if (::inet_pton(AF_INET, address.host.c_str(), &sa.sin_addr) != 1
        || ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 || ::listen(fd, backlog) != 0) {
        ::close(fd);
        return -1;
    }
    m_fd = fd;
    return fd;
}

TcpSocket *TcpServer::accept()
{
    sockaddr_in sa {};
    socklen_t len = sizeof sa;
    const int fd = ::accept4(m_fd, reinterpret_cast<sockaddr *>(&sa), &len, SOCK_CLOEXEC);
    if (fd < 0)
        return nullptr;
    char host[64] = {0};
    ::inet_ntop(AF_INET, &sa.sin_addr, host, sizeof host);
    return new TcpSocket(fd, Address(host, ntohs(sa.sin_port)));
}

void TcpServer::close()
{
    const int fd = m_fd.exchange(-1);
    if (fd >= 0) {
        ::shutdown(fd, SHUT_RDWR);
        ::close(fd);
    }
}

int TcpServer::closeHandle()
{
    const int fd = m_fd.load();
    if (fd >= 0)
        ::shutdown(fd, SHUT_RDWR);
    return 0;
}

int TcpServer::waitReadable(int timeoutMs)
{
    return pollOne(m_fd, POLLIN, timeoutMs);
}

Address TcpServer::boundAddress() const
{
    sockaddr_in sa {};
    socklen_t len = sizeof sa;
    if (::getsockname(m_fd, reinterpret_cast<sockaddr *>(&sa), &len) != 0)
        return Address();
    char host[64] = {0};
    ::inet_ntop(AF_INET, &sa.sin_addr, host, sizeof host);
    return Address(host, ntohs(sa.sin_port));
}

BodyData::~BodyData()
{
    if (m_file) {
        std::fclose(m_file);
        std::remove(m_path.c_str());
    }
}

int BodyData::write(const char *data, int length)
{
    if (length < 1)
        return 0;
    if (!m_file) {
        m_memory.append(data, static_cast<size_t>(length));
        if (m_limit >= 1 && !m_path.empty() && static_cast<int64_t>(m_memory.size() - m_readPos) > m_limit) {
            m_file = std::fopen(m_path.c_str(), "w+b");
            if (!m_file)
                return -1;
            const size_t n = m_memory.size() - m_readPos;
            if (std::fwrite(m_memory.data() + m_readPos, 1, n, m_file) != n)
                return -1;
            m_fileWritten = static_cast<int64_t>(n);
            m_memory.clear();
            m_readPos = 0;
        }
        return length;
    }
    std::fseek(m_file, static_cast<long>(m_fileWritten), SEEK_SET);
    const size_t n = std::fwrite(data, 1, static_cast<size_t>(length), m_file);
    m_fileWritten += static_cast<int64_t>(n);
    return static_cast<int>(n);
}

int BodyData::read(char *buffer, int length)
{
    if (length < 1)
        return 0;
    if (!m_file) {
        const size_t n = std::min(static_cast<size_t>(length), m_memory.size() - m_readPos);
        m_memory.copy(buffer, n, m_readPos);
        m_readPos += n;
        return static_cast<int>(n);
    }
    std::fseek(m_file, static_cast<long>(m_fileRead), SEEK_SET);
    const int64_t left = m_fileWritten - m_fileRead;
    const size_t n = std::fread(buffer, 1, static_cast<size_t>(std::min<int64_t>(length, left)), m_file);
    m_fileRead += static_cast<int64_t>(n);
    return static_cast<int>(n);
}

int BodyData::size() const
{
    if (!m_file)
        return static_cast<int>(m_memory.size() - m_readPos);
    return static_cast<int>(m_fileWritten - m_fileRead);
}

} // namespace httpshim
