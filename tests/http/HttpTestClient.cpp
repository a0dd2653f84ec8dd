#include "HttpTestClient.h"
#include "TestSupport.h"

#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <cerrno>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {
long long nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
} // namespace

HttpTestClient::~HttpTestClient()
{
    close();
}

bool HttpTestClient::connectTo(int port, bool wait)
{
    close();
    m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | (wait ? 0 : SOCK_NONBLOCK), 0);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_closed = false;
    m_buffer.clear();
    const int rc = ::connect(m_fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    if (wait)
        return rc == 0;
    // Back to blocking for the sends and reads that follow.
    ::fcntl(m_fd, F_SETFL, ::fcntl(m_fd, F_GETFL, 0) & ~O_NONBLOCK);
    return rc == 0 || errno == EINPROGRESS;
}

bool HttpTestClient::send(const std::string &bytes)
{
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

int HttpTestClient::readSome(int timeoutMs)
{
    if (m_fd < 0 || m_closed)
        return -1;
    pollfd p {m_fd, POLLIN, 0};
    if (::poll(&p, 1, timeoutMs) <= 0)
        return 0;
    char buf[65536];
    const ssize_t n = ::recv(m_fd, buf, sizeof buf, 0);
    if (n <= 0) {
        m_closed = true;
        return -1;
    }
    m_buffer.append(buf, static_cast<size_t>(n));
    return static_cast<int>(n);
}

bool HttpTestClient::readAtLeast(size_t count, int timeoutMs)
{
    const long long deadline = nowMs() + timeoutMs;
    while (m_buffer.size() < count) {
        const long long left = deadline - nowMs();
        if (left <= 0 || readSome(static_cast<int>(left)) < 0)
            return m_buffer.size() >= count;
    }
    return true;
}

bool HttpTestClient::readResponse(int &status, std::string &head, std::string &body, int timeoutMs)
{
    const long long deadline = nowMs() + timeoutMs;
    size_t end;
    while ((end = m_buffer.find("\r\n\r\n")) == std::string::npos) {
        const long long left = deadline - nowMs();
        if (left <= 0 || readSome(static_cast<int>(left)) < 0)
            return false;
    }
    head = m_buffer.substr(0, end + 4);
    status = std::atoi(head.c_str() + 9);
    size_t length = 0;
    const size_t cl = head.find("Content-Length: ");
    if (cl != std::string::npos)
        length = static_cast<size_t>(std::atoll(head.c_str() + cl + 16));
    while (m_buffer.size() < end + 4 + length) {
        const long long left = deadline - nowMs();
        if (left <= 0 || readSome(static_cast<int>(left)) < 0)
            return false;
    }
    body = m_buffer.substr(end + 4, length);
    m_buffer.erase(0, end + 4 + length);
    return true;
}

bool HttpTestClient::waitClosed(int timeoutMs)
{
    const long long deadline = nowMs() + timeoutMs;
    while (!m_closed) {
        const long long left = deadline - nowMs();
        if (left <= 0)
            return false;
        readSome(static_cast<int>(left));
    }
    return true;
}

void HttpTestClient::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
}

int freeLoopbackPort()
{
    return PaTest::freeTcpPort();
}

bool httpGet(int port, const std::string &target, std::string &body, int timeoutMs)
{
    HttpTestClient client;
    int status = 0;
    std::string head;
    return client.connectTo(port) && client.send("GET " + target + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n")
           && client.readResponse(status, head, body, timeoutMs);
}

int processThreadCount()
{
    int n = 0;
    if (DIR *d = ::opendir("/proc/self/task")) {
        while (dirent *e = ::readdir(d)) {
            if (e->d_name[0] != '.')
                ++n;
        }
        ::closedir(d);
    }
    return n;
}

bool processHasThreadNamed(const std::string &name)
{
    bool found = false;
    if (DIR *d = ::opendir("/proc/self/task")) {
        while (dirent *e = ::readdir(d)) {
            if (e->d_name[0] == '.')
                continue;
            std::ifstream comm(std::string("/proc/self/task/") + e->d_name + "/comm");
            std::string line;
            std::getline(comm, line);
            found = found || line == name;
        }
        ::closedir(d);
    }
    return found;
}
