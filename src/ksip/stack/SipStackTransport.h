#pragma once

#include <string>

// The stack's signalling socket: one IPv4 UDP socket plus an eventfd that
// other threads use to wake the transport thread out of its poll().
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

    // Sends one datagram to host:port. Numeric hosts are used as they are;
    // names go through getaddrinfo. Bytes sent or -1.
    int send(const std::string &host, int port, const char *data, size_t length);

    // Waits up to timeoutMs (-1 = no limit) for a datagram or a wake-up.
    // True when a datagram is ready to read.
    bool wait(int timeoutMs);
    // Reads one datagram if any: its length (a datagram longer than
    // `capacity` is read and reported as capacity + 1), 0 when none is
    // waiting. Fills the sender's dotted address and port.
    long receive(char *buffer, size_t capacity, std::string &fromIp, int &fromPort);

    // Makes the current or next wait() return at once.
    void wake();

private:
    int m_fd = -1;
    int m_wakeFd = -1;
    int m_port = 0;
    std::string m_address;
};
