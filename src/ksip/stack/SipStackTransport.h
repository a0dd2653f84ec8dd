#pragma once

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class SipStackResolver;
struct pollfd;

// The stack's signalling socket: one IPv4 UDP socket plus an eventfd that
// other threads use to wake the transport thread out of its poll().
//
// Host names are resolved without blocking: a datagram for a name not yet
// known waits while the lookup runs inside wait()'s poll, and leaves when
// the address comes. If the lookup fails, its datagrams are dropped, the
// failure is logged and the name is handed to takeFailedHosts(); sends to
// that name then fail at once for a while.
class SipStackTransport
{
public:
    SipStackTransport();
    ~SipStackTransport();
    SipStackTransport(const SipStackTransport &) = delete;
    SipStackTransport &operator=(const SipStackTransport &) = delete;

    // Binds to `address` ("" = every address) and `port` (0 = any free
    // port). 0 or -errno.
    int open(const std::string &address, int port);
    void close();
    int port() const { return m_port; }
    const std::string &address() const { return m_address; }

    // Name lookups: `servers` "ip[:port],..." instead of the system's
    // (empty: /etc/resolv.conf), `timeoutMs` per try, `tries` per server.
    // `log` gets one line for each name that cannot be resolved (null:
    // standard error). Call before the first send to a name.
    void setResolver(const std::string &servers, int timeoutMs, int tries,
                     std::function<void(const std::string &)> log);

    // Sends one datagram to host:port. Numeric hosts are used as they are;
    // a name known to resolve is sent to at once; one still being looked up
    // queues the datagram (and counts as sent). Bytes sent or -1 (also for
    // a name that failed to resolve).
    int send(const std::string &host, int port, const char *data, size_t length);

    // Waits up to timeoutMs (-1 = no limit) for a datagram or a wake-up,
    // running name lookups meanwhile. True when a datagram is ready to read.
    bool wait(int timeoutMs);
    // Names whose lookup failed since the last call.
    std::vector<std::string> takeFailedHosts();
    // Reads one datagram if any: its length (a datagram longer than
    // `capacity` is read and reported as capacity + 1), 0 when none is
    // waiting. Fills the sender's dotted address and port.
    long receive(char *buffer, size_t capacity, std::string &fromIp, int &fromPort);

    // Makes the current or next wait() return at once.
    void wake();

private:
    struct Waiting
    {
        int port = 0;
        std::string data;
    };
    // Sends what waited for names resolved or failed in the last wait().
    void finishLookups(const std::vector<pollfd> &ready);
    int sendTo(const void *address, int port, const char *data, size_t length);

    int m_fd = -1;
    int m_wakeFd = -1;
    int m_port = 0;
    std::string m_address;

    std::mutex m_resolveLock;  // the resolver and the queues below
    std::unique_ptr<SipStackResolver> m_resolver;
    std::function<void(const std::string &)> m_log;
    std::map<std::string, std::deque<Waiting>> m_waiting;
    std::vector<std::string> m_failedHosts;
};
