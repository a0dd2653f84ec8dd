#include "WSRawClient.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace PaTest {

WSRawClient::WSRawClient(int port, int receiveBuffer, bool wait)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (wait ? 0 : SOCK_NONBLOCK), 0);
    if (receiveBuffer > 0)
        setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 && !(!wait && errno == EINPROGRESS)) {
        ::close(m_fd);
        m_fd = -1;
    }
}

WSRawClient::~WSRawClient()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool WSRawClient::sendAll(const std::string &bytes)
{
    size_t sent = 0;
    while (m_fd >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return sent == bytes.size();
}

WSRawClient::Outcome WSRawClient::pump(const std::function<bool(const std::string &)> &done, int timeoutMs)
{
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(buffer)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0 || m_fd < 0)
            return Outcome::TimedOut;
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            continue;
        char chunk[65536];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return Outcome::Closed;
        buffer.append(chunk, size_t(n));
    }
    return Outcome::Done;
}

bool WSRawClient::readUntil(const std::function<bool(const std::string &)> &done, int timeoutMs)
{
    const Outcome o = pump(done, timeoutMs);
    return o == Outcome::Done || (o == Outcome::Closed && done(buffer));
}

bool WSRawClient::waitClosed(int timeoutMs)
{
    return m_fd < 0 || pump([](const std::string &) { return false; }, timeoutMs) == Outcome::Closed;
}

bool WSRawClient::handshake()
{
    if (!sendAll("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n"))
        return false;
    const bool ok = readUntil([](const std::string &b) { return b.find("\r\n\r\n") != std::string::npos; });
    if (!ok || buffer.compare(0, 12, "HTTP/1.1 101") != 0)
        return false;
    buffer.erase(0, buffer.find("\r\n\r\n") + 4);
    return true;
}

} // namespace PaTest
