#include "ConsoleClient.h"

#include "ConsoleProtocol.h"
#include "HmacSha256.h"

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

class Fd
{
public:
    explicit Fd(int fd) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd &) = delete;
    Fd &operator=(const Fd &) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

int remainingMs(Clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? int(left) : 0;
}

bool waitFd(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int r = ::poll(&p, 1, remainingMs(deadline));
        if (r > 0)
            return true;
        if (r == 0)
            return false;
        if (errno != EINTR)
            return false;
    }
}

bool sendAll(int fd, const std::string &data, Clock::time_point deadline)
{
    size_t done = 0;
    while (done < data.size()) {
        if (!waitFd(fd, POLLOUT, deadline))
            return false;
        const ssize_t n = ::send(fd, data.data() + done, data.size() - done, MSG_NOSIGNAL);
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

bool recvAll(int fd, char *buf, size_t size, Clock::time_point deadline)
{
    size_t done = 0;
    while (done < size) {
        if (!waitFd(fd, POLLIN, deadline))
            return false;
        const ssize_t n = ::recv(fd, buf + done, size - done, 0);
        if (n == 0)
            return false;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            return false;
        }
        done += size_t(n);
    }
    return true;
}

bool sendFrame(int fd, const std::string &payload, Clock::time_point deadline)
{
    return sendAll(fd, ConsoleProtocol::frameHeader(uint32_t(payload.size())) + payload, deadline);
}

bool recvFrame(int fd, std::string *payload, Clock::time_point deadline)
{
    unsigned char header[4];
    if (!recvAll(fd, reinterpret_cast<char *>(header), 4, deadline))
        return false;
    const uint32_t size = ConsoleProtocol::frameSize(header);
    if (size > ConsoleProtocol::kMaxFrame)
        return false;
    payload->assign(size, '\0');
    return size == 0 || recvAll(fd, &(*payload)[0], size, deadline);
}

// Whole small file, read with plain system calls (no iostreams to set up).
bool readSmallFile(const std::string &path, std::string *out)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        return false;
    Fd guard(fd);
    out->clear();
    char buf[1024];
    for (;;) {
        const ssize_t n = ::read(fd, buf, sizeof(buf));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return n == 0;
        out->append(buf, size_t(n));
        if (out->size() > 65536)
            return false;
    }
}

} // namespace

ConsoleClient::ConsoleClient(std::string switchFolder) : m_folder(std::move(switchFolder)) {}

bool ConsoleClient::readRunFile(int *port, std::string *error) const
{
    const std::string path = m_folder + "/" + ConsoleProtocol::kRunFolder + "/" + ConsoleProtocol::kRunFile;
    std::string text;
    if (!readSmallFile(path, &text)) {
        *error = "switch not running (no " + path + ")";
        return false;
    }
    *port = 0;
    std::string folder;
    long pid = 0;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string::npos)
            end = text.size();
        if (text.compare(pos, 5, "port=") == 0)
            *port = std::atoi(text.c_str() + pos + 5);
        else if (text.compare(pos, 7, "folder=") == 0)
            folder = text.substr(pos + 7, end - pos - 7);
        else if (text.compare(pos, 4, "pid=") == 0)
            pid = std::atol(text.c_str() + pos + 4);
        pos = end + 1;
    }
    if (!folder.empty() && folder != m_folder) {
        *error = "run file " + path + " belongs to a switch in " + folder;
        return false;
    }
    if (m_expectedPid > 0 && pid != m_expectedPid) {
        *error = "console belongs to switch process " + std::to_string(pid) + ", not "
                 + std::to_string(m_expectedPid);
        return false;
    }
    if (*port <= 0 || *port > 65535) {
        *error = "bad run file " + path;
        return false;
    }
    return true;
}

bool ConsoleClient::readSecret(std::string *secret, std::string *error) const
{
    const std::string path = m_folder + "/" + ConsoleProtocol::kRunFolder + "/" + ConsoleProtocol::kSecretFile;
    if (readSmallFile(path, secret))
        secret->erase(std::min(secret->find('\n'), secret->size()));
    if (secret->empty()) {
        *error = "cannot read console secret " + path;
        return false;
    }
    return true;
}

bool ConsoleClient::run(const std::string &command, int timeoutMs, std::string *answer, std::string *error)
{
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    int port = 0;
    std::string secret;
    if (!readRunFile(&port, error) || !readSecret(&secret, error))
        return false;

    Fd sock(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (sock.get() < 0) {
        *error = std::string("socket: ") + std::strerror(errno);
        return false;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(uint16_t(port));
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(sock.get(), reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0) {
        if (errno != EINPROGRESS) {
            *error = std::string("connect: ") + std::strerror(errno);
            return false;
        }
        if (!waitFd(sock.get(), POLLOUT, deadline)) {
            *error = "connect timed out";
            return false;
        }
        int soErr = 0;
        socklen_t len = sizeof(soErr);
        getsockopt(sock.get(), SOL_SOCKET, SO_ERROR, &soErr, &len);
        if (soErr != 0) {
            *error = std::string("connect: ") + std::strerror(soErr);
            return false;
        }
    }
    int one = 1;
    setsockopt(sock.get(), IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));

    std::string hello;
    if (!recvFrame(sock.get(), &hello, deadline) || hello.compare(0, 6, "hello ") != 0) {
        *error = "no greeting from the switch";
        return false;
    }
    const std::string nonce = hello.substr(6);
    if (!sendFrame(sock.get(), "auth " + HmacSha256::hex(secret, nonce), deadline)
        || !sendFrame(sock.get(), "cmd " + command, deadline)) {
        *error = "send failed";
        return false;
    }
    if (!recvFrame(sock.get(), answer, deadline)) {
        *error = "no answer from the switch";
        answer->clear();
        return false;
    }
    return true;
}
