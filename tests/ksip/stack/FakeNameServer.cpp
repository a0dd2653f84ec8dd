#include "FakeNameServer.h"

#include <arpa/inet.h>
#include <cstdint>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

FakeNameServer::FakeNameServer(bool answers)
{
    m_fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof sa;
    if (m_fd < 0 || ::bind(m_fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0 ||
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&sa), &len) != 0)
        return;
    m_port = ntohs(sa.sin_port);
    m_thread = std::thread([this, answers] { serve(answers); });
}

FakeNameServer::~FakeNameServer()
{
    m_running = false;
    if (m_thread.joinable())
        m_thread.join();
    if (m_fd >= 0)
        ::close(m_fd);
}

std::vector<std::string> FakeNameServer::asked() const
{
    std::lock_guard<std::mutex> guard(m_askedLock);
    return m_asked;
}

void FakeNameServer::serve(bool answers)
{
    while (m_running) {
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, 50) <= 0)
            continue;
        uint8_t q[512];
        sockaddr_in from{};
        socklen_t len = sizeof from;
        const ssize_t n = ::recvfrom(m_fd, q, sizeof q, 0, reinterpret_cast<sockaddr *>(&from), &len);
        if (n < 12)
            continue;
        // Header, the question as asked, then the answer pointing at it.
        std::string name;
        size_t end = 12;
        while (end < size_t(n) && q[end] != 0) {
            const size_t label = q[end];
            if (end + 1 + label > size_t(n))
                break;
            name += (name.empty() ? "" : ".") + std::string(reinterpret_cast<const char *>(q) + end + 1, label);
            end += label + 1;
        }
        {
            std::lock_guard<std::mutex> guard(m_askedLock);
            m_asked.push_back(name);
        }
        ++m_queries;
        end += 5;
        if (!answers || end > size_t(n))
            continue;
        std::vector<uint8_t> r(q, q + end);
        r[2] = 0x81;
        r[3] = 0x80;
        r[6] = 0, r[7] = 1;              // one answer
        r[8] = r[9] = r[10] = r[11] = 0; // nothing else
        const uint8_t answer[] = {0xC0, 12, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4, 127, 0, 0, 1};
        r.insert(r.end(), answer, answer + sizeof answer);
        ::sendto(m_fd, r.data(), r.size(), 0, reinterpret_cast<sockaddr *>(&from), len);
    }
}
