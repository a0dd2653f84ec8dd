#pragma once

#include <cstdint>
#include <map>
#include <netinet/in.h>
#include <string>
#include <vector>

struct ares_channeldata;
struct ares_addrinfo;
struct pollfd;

// Host names to IPv4 addresses without blocking: lookups run on c-ares and
// are driven by the owner's poll loop (pollFds / timeoutMs / process).
// Answers are cached for their time to live; a failure is remembered for a
// while, so a dead name is not asked again for every datagram. Names come
// from the network too (a Via's maddr), so both the cache and the lookups
// running at once are bounded.
//
// Not thread-safe: the owner serialises every call.
class SipStackResolver
{
public:
    enum class State { Resolved, Pending, Failed };

    struct Result
    {
        std::string name;
        bool resolved = false;
        in_addr address{};  // when resolved
        std::string error;  // why it failed
    };

    // `servers`: "ip[:port],..." to ask instead of the system's (tests);
    // empty for /etc/resolv.conf. `timeoutMs` per try, `tries` per server.
    SipStackResolver(const std::string &servers, int timeoutMs, int tries);

    // Names kept at most; when full, the one that expires first makes way.
    static constexpr size_t kMaxNames = 1024;
    // Lookups running at most; a new name beyond that fails at once.
    static constexpr int kMaxPending = 64;
    ~SipStackResolver();
    SipStackResolver(const SipStackResolver &) = delete;
    SipStackResolver &operator=(const SipStackResolver &) = delete;

    // False when c-ares could not be set up (every lookup then fails).
    bool isReady() const { return m_channel != nullptr; }

    // Resolved (address filled), Pending (a lookup runs; its end shows in
    // takeFinished()) or Failed (the name recently failed to resolve, or
    // kMaxPending lookups are running).
    State lookup(const std::string &name, in_addr &address);

    // Appends the descriptors of running lookups to `fds`.
    void pollFds(std::vector<pollfd> &fds) const;
    // How long the poll may wait for them: at most `capMs` (-1 = no cap).
    int timeoutMs(int capMs) const;
    // Handles the descriptors `fds` reported ready (and lookups timed out).
    void process(const std::vector<pollfd> &fds);
    // Lookups that ended since the last call.
    std::vector<Result> takeFinished();

private:
    struct Entry
    {
        State state = State::Pending;
        in_addr address{};
        int64_t expiresMs = 0;
    };
    struct Query;

    static void onAnswer(void *arg, int status, int timeouts, ares_addrinfo *result);
    void finish(const std::string &name, int status, ares_addrinfo *result);
    void makeRoom(int64_t now);

    ares_channeldata *m_channel = nullptr;
    std::map<std::string, Entry> m_cache;
    int m_pending = 0;
    std::vector<Result> m_finished;
};
