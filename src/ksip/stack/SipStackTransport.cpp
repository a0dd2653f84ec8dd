#include "SipStackTransport.h"

#include "SipStackConfig.h"
#include "SipStackResolver.h"

#include <arpa/inet.h>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Datagrams held per name while it is looked up; the oldest go first (the
// transactions repeat what matters).
constexpr size_t kMaxWaiting = 32;

} // namespace

SipStackTransport::SipStackTransport()
{
    m_wakeFd = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

SipStackTransport::~SipStackTransport()
{
    close();
    if (m_wakeFd >= 0)
        ::close(m_wakeFd);
}

int SipStackTransport::open(const std::string &address, int port)
{
    close();
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    if (address.empty() || address == "0.0.0.0") {
        sa.sin_addr.s_addr = htonl(INADDR_ANY);
    } else if (::inet_pton(AF_INET, address.c_str(), &sa.sin_addr) != 1) {
        return -EINVAL;
    }
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -errno;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        const int err = errno;
        ::close(fd);
        return -err;
    }
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
    m_fd = fd;
    m_port = ntohs(sa.sin_port);
    m_address = (address == "0.0.0.0") ? std::string() : address;
    return 0;
}

void SipStackTransport::close()
{
    if (m_fd >= 0)
        ::close(m_fd);
    m_fd = -1;
    m_port = 0;
}

void SipStackTransport::setResolver(const std::string &servers, int timeoutMs, int tries,
                                    std::function<void(const std::string &)> log)
{
    std::lock_guard<std::mutex> guard(m_resolveLock);
    m_resolver = std::make_unique<SipStackResolver>(servers, timeoutMs, tries);
    m_log = std::move(log);
}

int SipStackTransport::sendTo(const void *address, int port, const char *data, size_t length)
{
    sockaddr_in sa{};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    std::memcpy(&sa.sin_addr, address, sizeof sa.sin_addr);
    const ssize_t sent = ::sendto(m_fd, data, length, 0, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    return sent < 0 ? -1 : static_cast<int>(sent);
}

int SipStackTransport::send(const std::string &host, int port, const char *data, size_t length)
{
    if (m_fd < 0 || port <= 0 || port > 65535 || host.empty())
        return -1;
    in_addr address{};
    if (::inet_pton(AF_INET, host.c_str(), &address) == 1)
        return sendTo(&address, port, data, length);
    {
        std::lock_guard<std::mutex> guard(m_resolveLock);
        if (!m_resolver) {
            // A transport used without a stack (tests) looks names up as
            // a stack would by default.
            const SipStackConfig defaults;
            m_resolver = std::make_unique<SipStackResolver>(defaults.dnsServers, defaults.dnsTimeoutMs,
                                                            defaults.dnsTries);
        }
        switch (m_resolver->lookup(host, address)) {
        case SipStackResolver::State::Resolved:
            return sendTo(&address, port, data, length);
        case SipStackResolver::State::Failed:
            return -1;
        case SipStackResolver::State::Pending:
            break;
        }
        std::deque<Waiting> &queue = m_waiting[host];
        if (queue.size() >= kMaxWaiting)
            queue.pop_front();
        queue.push_back(Waiting{port, std::string(data, length)});
    }
    // The transport thread polls the lookup's socket from its next wait on.
    wake();
    return static_cast<int>(length);
}

bool SipStackTransport::wait(int timeoutMs)
{
    std::vector<pollfd> fds;
    if (m_fd >= 0)
        fds.push_back(pollfd{m_fd, POLLIN, 0});
    const size_t wakeIndex = fds.size();
    fds.push_back(pollfd{m_wakeFd, POLLIN, 0});
    const size_t resolverFirst = fds.size();
    {
        std::lock_guard<std::mutex> guard(m_resolveLock);
        if (m_resolver) {
            m_resolver->pollFds(fds);
            timeoutMs = m_resolver->timeoutMs(timeoutMs);
        }
    }
    const int ready = ::poll(fds.data(), fds.size(), timeoutMs);
    if (ready < 0)
        return false;
    if (fds[wakeIndex].revents & POLLIN) {
        uint64_t value = 0;
        while (::read(m_wakeFd, &value, sizeof value) > 0) {
        }
    }
    finishLookups(std::vector<pollfd>(fds.begin() + static_cast<long>(resolverFirst), fds.end()));
    return m_fd >= 0 && (fds[0].revents & POLLIN);
}

void SipStackTransport::finishLookups(const std::vector<pollfd> &ready)
{
    std::vector<std::string> lines;
    {
        std::lock_guard<std::mutex> guard(m_resolveLock);
        if (!m_resolver)
            return;
        m_resolver->process(ready);
        for (const SipStackResolver::Result &result : m_resolver->takeFinished()) {
            auto it = m_waiting.find(result.name);
            std::deque<Waiting> waiting;
            if (it != m_waiting.end()) {
                waiting.swap(it->second);
                m_waiting.erase(it);
            }
            if (result.resolved) {
                for (const Waiting &w : waiting)
                    sendTo(&result.address, w.port, w.data.data(), w.data.size());
                continue;
            }
            m_failedHosts.push_back(result.name);
            lines.push_back("SIP: cannot resolve host \"" + result.name + "\": " + result.error + "; " +
                            std::to_string(waiting.size()) + " message(s) to it dropped");
        }
    }
    for (const std::string &line : lines) {
        if (m_log)
            m_log(line);
        else
            std::fprintf(stderr, "%s\n", line.c_str());
    }
}

std::vector<std::string> SipStackTransport::takeFailedHosts()
{
    std::lock_guard<std::mutex> guard(m_resolveLock);
    std::vector<std::string> out;
    out.swap(m_failedHosts);
    return out;
}

long SipStackTransport::receive(char *buffer, size_t capacity, std::string &fromIp, int &fromPort)
{
    if (m_fd < 0)
        return 0;
    sockaddr_in sa{};
    socklen_t len = sizeof sa;
    const ssize_t got = ::recvfrom(m_fd, buffer, capacity, MSG_TRUNC, reinterpret_cast<sockaddr *>(&sa), &len);
    if (got < 0)
        return 0;
    char ip[INET_ADDRSTRLEN] = {0};
    ::inet_ntop(AF_INET, &sa.sin_addr, ip, sizeof ip);
    fromIp = ip;
    fromPort = ntohs(sa.sin_port);
    if (static_cast<size_t>(got) > capacity)
        return static_cast<long>(capacity) + 1;
    return static_cast<long>(got);
}

void SipStackTransport::wake()
{
    const uint64_t one = 1;
    ssize_t ignored = ::write(m_wakeFd, &one, sizeof one);
    (void)ignored;
}
