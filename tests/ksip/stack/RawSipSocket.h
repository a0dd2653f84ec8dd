#pragma once

#include <string>

// A bare UDP socket on 127.0.0.1 for tests that play a SIP peer by hand:
// it sends exactly the bytes given and returns whatever arrives.
class RawSipSocket
{
public:
    RawSipSocket();
    ~RawSipSocket();
    RawSipSocket(const RawSipSocket &) = delete;
    RawSipSocket &operator=(const RawSipSocket &) = delete;

    int port() const { return m_port; }
    bool sendTo(int port, const std::string &datagram);
    // The next datagram within timeoutMs, or "" on time-out.
    std::string receive(int timeoutMs);
    // Waits up to timeoutMs for a datagram whose first line starts with
    // `prefix` ("SIP/2.0 200", "ACK ", "BYE "); others are skipped.
    std::string receiveStarting(const std::string &prefix, int timeoutMs);

private:
    int m_fd = -1;
    int m_port = 0;
};
