#pragma once

#include <cstdint>
#include <vector>

namespace PaTest {

// A plain UDP socket on 127.0.0.1 for tests that play the far end of a
// datagram protocol: send raw bytes, read what arrives with a time limit.
class UdpPeer
{
public:
    // Binds 127.0.0.1:`port` (0: a port the system picks).
    explicit UdpPeer(int port = 0);
    ~UdpPeer();
    UdpPeer(const UdpPeer &) = delete;
    UdpPeer &operator=(const UdpPeer &) = delete;

    bool isOpen() const { return m_fd >= 0; }
    int port() const { return m_port; }
    bool sendTo(int port, const std::vector<uint8_t> &data);
    bool sendTo(int port, const uint8_t *data, int length);
    // The next datagram, or an empty vector after `timeoutMs`.
    std::vector<uint8_t> receive(int timeoutMs);

private:
    int m_fd = -1;
    int m_port = 0;
};

} // namespace PaTest
