#include "HttpReport.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

void HttpReport::add(const std::string &key, const std::string &value)
{
    m_fields.emplace_back(key, value);
}

std::string HttpReport::percentEncode(const std::string &value)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : value) {
        if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.'
            || c == '_' || c == '~') {
            out += char(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 0xf];
        }
    }
    return out;
}

std::string HttpReport::body() const
{
    std::string out;
    for (const auto &f : m_fields) {
        if (!out.empty())
            out += '&';
        out += percentEncode(f.first) + "=" + percentEncode(f.second);
    }
    return out;
}

int HttpReport::post(int port, const std::string &path, int timeoutMs, std::string *error) const
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    auto left = [&] {
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        return ms > 0 ? int(ms) : 0;
    };
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        *error = std::strerror(errno);
        return 0;
    }
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};

    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0 && errno != EINPROGRESS) {
        *error = std::string("connect: ") + std::strerror(errno);
        return 0;
    }
    const std::string content = body();
    const std::string request = "POST " + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + std::to_string(port)
                                + "\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: "
                                + std::to_string(content.size()) + "\r\nConnection: close\r\n\r\n" + content;
    size_t sent = 0;
    while (sent < request.size()) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, left()) <= 0) {
            *error = "timed out sending";
            return 0;
        }
        const ssize_t n = ::send(fd, request.data() + sent, request.size() - sent, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            *error = std::string("send: ") + std::strerror(errno);
            return 0;
        }
        sent += size_t(n);
    }
    // Only the status line matters.
    std::string answer;
    while (answer.find("\r\n") == std::string::npos && answer.size() < 8192) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, left()) <= 0) {
            *error = "timed out waiting for the answer";
            return 0;
        }
        char buf[1024];
        const ssize_t n = ::recv(fd, buf, sizeof(buf), 0);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            *error = std::string("recv: ") + std::strerror(errno);
            return 0;
        }
        answer.append(buf, size_t(n));
    }
    // "HTTP/1.1 200 OK"
    const auto sp = answer.find(' ');
    if (answer.compare(0, 5, "HTTP/") != 0 || sp == std::string::npos) {
        *error = "no HTTP answer";
        return 0;
    }
    return std::atoi(answer.c_str() + sp + 1);
}
