#include "SipStackResolver.h"

#include <ares.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <mutex>
#include <poll.h>

namespace {

// How long an answer without a usable time to live, and a failure, are
// remembered.
constexpr int64_t kMinTtlMs = 5000;
constexpr int64_t kMaxTtlMs = 3600 * 1000;
constexpr int64_t kFailureMs = 10000;

int64_t nowMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

struct SipStackResolver::Query
{
    SipStackResolver *owner;
    std::string name;
};

SipStackResolver::SipStackResolver(const std::string &servers, int timeoutMs, int tries)
{
    static std::once_flag once;
    static int libraryStatus = ARES_SUCCESS;
    std::call_once(once, [] { libraryStatus = ares_library_init(ARES_LIB_INIT_ALL); });
    if (libraryStatus != ARES_SUCCESS)
        return;
    ares_options options{};
    options.timeout = std::max(1, timeoutMs);
    options.tries = std::max(1, tries);
    // The system's search domains and ndots apply, as they do for every
    // other program here: a registrar named "pbx" on a site network is found.
    const int mask = ARES_OPT_TIMEOUTMS | ARES_OPT_TRIES;
    ares_channel channel = nullptr;
    if (ares_init_options(&channel, &options, mask) != ARES_SUCCESS)
        return;
    if (!servers.empty() && ares_set_servers_ports_csv(channel, servers.c_str()) != ARES_SUCCESS) {
        ares_destroy(channel);
        return;
    }
    m_channel = channel;
}

SipStackResolver::~SipStackResolver()
{
    if (m_channel) {
        // Runs the callbacks of what is still pending with ARES_EDESTRUCTION.
        ares_destroy(m_channel);
        m_channel = nullptr;
    }
}

SipStackResolver::State SipStackResolver::lookup(const std::string &name, in_addr &address)
{
    const int64_t now = nowMs();
    auto it = m_cache.find(name);
    if (it != m_cache.end()) {
        Entry &entry = it->second;
        if (entry.state == State::Pending)
            return State::Pending;
        if (now < entry.expiresMs) {
            address = entry.address;
            return entry.state;
        }
    }
    if (!m_channel || m_pending >= kMaxPending)
        return State::Failed;
    if (it == m_cache.end() && m_cache.size() >= kMaxNames)
        makeRoom(now);
    m_cache[name] = Entry();
    ++m_pending;
    ares_addrinfo_hints hints{};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_DGRAM;
    // An answer from the hosts file calls back at once, inside this call.
    ares_getaddrinfo(m_channel, name.c_str(), nullptr, &hints, &SipStackResolver::onAnswer,
                     new Query{this, name});
    const Entry &entry = m_cache[name];
    if (entry.state == State::Resolved)
        address = entry.address;
    return entry.state;
}

void SipStackResolver::makeRoom(int64_t now)
{
    auto first = m_cache.end();
    for (auto it = m_cache.begin(); it != m_cache.end();) {
        if (it->second.state == State::Pending) {
            ++it;
        } else if (now >= it->second.expiresMs) {
            it = m_cache.erase(it);
        } else {
            if (first == m_cache.end() || it->second.expiresMs < first->second.expiresMs)
                first = it;
            ++it;
        }
    }
    if (m_cache.size() >= kMaxNames && first != m_cache.end())
        m_cache.erase(first);
}

void SipStackResolver::onAnswer(void *arg, int status, int, ares_addrinfo *result)
{
    Query *query = static_cast<Query *>(arg);
    if (status != ARES_EDESTRUCTION)
        query->owner->finish(query->name, status, result);
    if (result)
        ares_freeaddrinfo(result);
    delete query;
}

void SipStackResolver::finish(const std::string &name, int status, ares_addrinfo *result)
{
    Entry &entry = m_cache[name];
    --m_pending;
    const int64_t now = nowMs();
    Result done;
    done.name = name;
    const ares_addrinfo_node *node = status == ARES_SUCCESS && result ? result->nodes : nullptr;
    while (node && node->ai_family != AF_INET)
        node = node->ai_next;
    if (node && node->ai_addr) {
        entry.state = State::Resolved;
        entry.address = reinterpret_cast<const sockaddr_in *>(node->ai_addr)->sin_addr;
        const int64_t ttl = static_cast<int64_t>(node->ai_ttl) * 1000;
        entry.expiresMs = now + std::min(kMaxTtlMs, std::max(kMinTtlMs, ttl));
        done.resolved = true;
        done.address = entry.address;
    } else {
        entry.state = State::Failed;
        entry.expiresMs = now + kFailureMs;
        done.error = status == ARES_SUCCESS ? "no IPv4 address" : ares_strerror(status);
    }
    m_finished.push_back(done);
}

void SipStackResolver::pollFds(std::vector<pollfd> &fds) const
{
    if (!m_channel)
        return;
    ares_socket_t sockets[ARES_GETSOCK_MAXNUM];
    const int bits = ares_getsock(m_channel, sockets, ARES_GETSOCK_MAXNUM);
    for (int i = 0; i < ARES_GETSOCK_MAXNUM; ++i) {
        short events = 0;
        if (ARES_GETSOCK_READABLE(bits, i))
            events |= POLLIN;
        if (ARES_GETSOCK_WRITABLE(bits, i))
            events |= POLLOUT;
        if (events)
            fds.push_back(pollfd{sockets[i], events, 0});
    }
}

int SipStackResolver::timeoutMs(int capMs) const
{
    if (!m_channel)
        return capMs;
    timeval cap{};
    timeval *capPtr = nullptr;
    if (capMs >= 0) {
        cap.tv_sec = capMs / 1000;
        cap.tv_usec = (capMs % 1000) * 1000;
        capPtr = &cap;
    }
    timeval out{};
    const timeval *next = ares_timeout(m_channel, capPtr, &out);
    if (!next)
        return capMs;
    return static_cast<int>(next->tv_sec * 1000 + (next->tv_usec + 999) / 1000);
}

void SipStackResolver::process(const std::vector<pollfd> &fds)
{
    if (!m_channel)
        return;
    for (const pollfd &fd : fds) {
        if (fd.revents == 0)
            continue;
        const bool readable = fd.revents & (POLLIN | POLLERR | POLLHUP);
        const bool writable = fd.revents & POLLOUT;
        ares_process_fd(m_channel, readable ? fd.fd : ARES_SOCKET_BAD, writable ? fd.fd : ARES_SOCKET_BAD);
    }
    // Time-outs and retries of lookups nothing was heard for.
    ares_process_fd(m_channel, ARES_SOCKET_BAD, ARES_SOCKET_BAD);
}

std::vector<SipStackResolver::Result> SipStackResolver::takeFinished()
{
    std::vector<Result> out;
    out.swap(m_finished);
    return out;
}
