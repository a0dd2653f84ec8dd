#pragma once
// A WebSocket client on a plain blocking socket, for the transport
// benchmarks: connect on loopback, the opening handshake, and bounded reads.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace BenchWs {

inline int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

inline bool readAtLeast(int fd, size_t n, std::string &buf)
{
    char chunk[4096];
    while (buf.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            return false;
        const ssize_t r = ::recv(fd, chunk, sizeof chunk, 0);
        if (r <= 0)
            return false;
        buf.append(chunk, size_t(r));
    }
    return true;
}

inline bool handshake(int fd)
{
    const std::string req = "GET / HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
    if (::send(fd, req.data(), req.size(), MSG_NOSIGNAL) != ssize_t(req.size()))
        return false;
    std::string buf;
    while (buf.find("\r\n\r\n") == std::string::npos) {
        if (!readAtLeast(fd, buf.size() + 1, buf))
            return false;
    }
    return buf.compare(0, 12, "HTTP/1.1 101") == 0;
}

} // namespace BenchWs
