#include "RtpSession.h"

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <random>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// Reordering and restart limits of the sequence check (RFC 3550, A.1).
constexpr uint16_t kMaxDropout = 3000;
constexpr uint16_t kMaxMisorder = 100;

uint32_t randomWord()
{
    static thread_local std::mt19937 engine{std::random_device{}()};
    return engine();
}

int bindUdp(const char *ip, int port)
{
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return -1;
    }
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    if ((ip && *ip && ::inet_pton(AF_INET, ip, &addr.sin_addr) != 1)
        || ::bind(fd, reinterpret_cast<sockaddr *>(&addr), sizeof(addr)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

void put32(uint8_t *p, uint32_t v)
{
    p[0] = uint8_t(v >> 24);
    p[1] = uint8_t(v >> 16);
    p[2] = uint8_t(v >> 8);
    p[3] = uint8_t(v);
}

} // namespace

RtpSession::RtpSession()
    : m_ssrc(randomWord()), m_sequence(static_cast<uint16_t>(randomWord())), m_timestamp(randomWord())
{
    m_wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
}

RtpSession::~RtpSession()
{
    close();
    if (m_wake >= 0) {
        ::close(m_wake);
    }
}

int RtpSession::open(const char *bindIp, int localPort)
{
    close();
    if (localPort <= 0 || localPort > 65534 || (localPort & 1) != 0) {
        return -1;
    }
    m_rtp = bindUdp(bindIp, localPort);
    m_rtcp = m_rtp >= 0 ? bindUdp(bindIp, localPort + 1) : -1;
    if (m_rtp < 0 || m_rtcp < 0) {
        close();
        return -1;
    }
    m_localPort = localPort;
    m_haveSource = false;
    return 0;
}

int RtpSession::setDestination(const char *ip, int port)
{
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    if (!ip || port <= 0 || port > 65534 || ::inet_pton(AF_INET, ip, &addr.sin_addr) != 1) {
        m_hasDest = false;
        return -1;
    }
    addr.sin_port = htons(static_cast<uint16_t>(port));
    m_dest = addr;
    m_rtcpDest = addr;
    m_rtcpDest.sin_port = htons(static_cast<uint16_t>(port + 1));
    m_hasDest = true;
    std::lock_guard<std::mutex> guard(m_peerLock);
    m_peer = addr;
    m_hasPeer = true;
    m_peerHeard = false;
    m_hasLatched = false;
    return 0;
}

bool RtpSession::fromPeer(const sockaddr_in &from)
{
    const auto same = [](const sockaddr_in &a, const sockaddr_in &b) {
        return a.sin_addr.s_addr == b.sin_addr.s_addr && a.sin_port == b.sin_port;
    };
    {
        std::lock_guard<std::mutex> guard(m_peerLock);
        if (!m_hasPeer) {
            return true;
        }
        if (same(from, m_peer)) {
            m_peerHeard = true;
            m_hasLatched = false;
            return true;
        }
        if (!m_peerHeard) {
            if (!m_hasLatched) {
                m_latched = from;
                m_hasLatched = true;
                return true;
            }
            if (same(from, m_latched)) {
                return true;
            }
        }
    }
    std::lock_guard<std::mutex> guard(m_statsLock);
    ++m_stats.foreign;
    return false;
}

int RtpSession::sendPacket(const uint8_t *payload, int length, uint8_t payloadType, bool marker,
                           uint32_t timestampIncrement)
{
    if (m_rtp < 0 || !m_hasDest) {
        return -1;
    }
    uint8_t buffer[RtpPacket::kMaxSize];
    const int n = RtpPacket::write(payloadType, marker, m_sequence, m_timestamp, m_ssrc, payload, length, buffer,
                                   sizeof(buffer));
    if (n < 0) {
        return -1;
    }
    const ssize_t sent = ::sendto(m_rtp, buffer, n, MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&m_dest),
                                  sizeof(m_dest));
    // The stream advances whether or not this datagram left: a peer that
    // sees a gap counts a loss instead of a shifted timeline.
    ++m_sequence;
    m_timestamp += timestampIncrement;
    if (sent < 0) {
        return -1;
    }
    std::lock_guard<std::mutex> guard(m_statsLock);
    ++m_stats.sent;
    return static_cast<int>(sent);
}

bool RtpSession::accept(const RtpPacket &packet)
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    const uint16_t seq = packet.sequence();
    if (!m_haveSource || packet.ssrc() != m_sourceSsrc) {
        m_haveSource = true;
        m_sourceSsrc = packet.ssrc();
        m_maxSequence = seq;
        m_seenWindow = 1;
        ++m_stats.received;
        return true;
    }
    const uint16_t ahead = static_cast<uint16_t>(seq - m_maxSequence);
    if (ahead == 0) {
        ++m_stats.duplicates;
        return false;
    }
    if (ahead < kMaxDropout) {
        m_stats.lost += ahead - 1u;
        m_seenWindow = ahead >= 64 ? 1 : ((m_seenWindow << ahead) | 1);
        m_maxSequence = seq;
        ++m_stats.received;
        return true;
    }
    const uint16_t behind = static_cast<uint16_t>(m_maxSequence - seq);
    if (behind <= kMaxMisorder) {
        if (behind < 64 && (m_seenWindow & (uint64_t(1) << behind)) != 0) {
            ++m_stats.duplicates;
        } else {
            // Arrived after a later packet was handed on: too late to play.
            ++m_stats.late;
            if (m_stats.lost > 0) {
                --m_stats.lost;
            }
            if (behind < 64) {
                m_seenWindow |= uint64_t(1) << behind;
            }
        }
        return false;
    }
    // A jump in either direction beyond the limits: the sender restarted
    // its numbering.
    m_maxSequence = seq;
    m_seenWindow = 1;
    ++m_stats.received;
    return true;
}

int RtpSession::receive(RtpPacket *packets, int max, int timeoutMs)
{
    if (m_rtp < 0) {
        return -1;
    }
    pollfd fds[3] = {{m_rtp, POLLIN, 0}, {m_rtcp, POLLIN, 0}, {m_wake, POLLIN, 0}};
    const int ready = ::poll(fds, 3, timeoutMs);
    if (ready <= 0) {
        return ready < 0 && errno != EINTR ? -1 : 0;
    }
    if (fds[2].revents & POLLIN) {
        uint64_t count;
        (void)!::read(m_wake, &count, sizeof(count));
    }
    if (fds[1].revents & POLLIN) {
        uint8_t drop[RtpPacket::kMaxSize];
        while (::recv(m_rtcp, drop, sizeof(drop), 0) >= 0) {
            std::lock_guard<std::mutex> guard(m_statsLock);
            ++m_stats.rtcp;
        }
    }
    int got = 0;
    if (fds[0].revents & POLLIN) {
        uint8_t buffer[RtpPacket::kMaxSize + 1];
        while (got < max) {
            sockaddr_in from{};
            socklen_t fromLength = sizeof(from);
            const ssize_t n =
                ::recvfrom(m_rtp, buffer, sizeof(buffer), 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
            if (n < 0) {
                break;
            }
            if (!packets[got].parse(buffer, static_cast<int>(n))) {
                std::lock_guard<std::mutex> guard(m_statsLock);
                ++m_stats.malformed;
                continue;
            }
            // Checked after parsing: a malformed datagram never latches.
            if (!fromPeer(from)) {
                continue;
            }
            if (accept(packets[got])) {
                ++got;
            }
        }
    }
    return got;
}

void RtpSession::wake()
{
    if (m_wake >= 0) {
        const uint64_t one = 1;
        (void)!::write(m_wake, &one, sizeof(one));
    }
}

void RtpSession::sendBye()
{
    if (m_rtcp < 0 || !m_hasDest) {
        return;
    }
    // Compound packet: an empty receiver report, then BYE with our SSRC.
    uint8_t packet[16];
    packet[0] = 0x80;
    packet[1] = 201;
    packet[2] = 0;
    packet[3] = 1;
    put32(packet + 4, m_ssrc);
    packet[8] = 0x81;
    packet[9] = 203;
    packet[10] = 0;
    packet[11] = 1;
    put32(packet + 12, m_ssrc);
    ::sendto(m_rtcp, packet, sizeof(packet), MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&m_rtcpDest),
             sizeof(m_rtcpDest));
}

void RtpSession::close()
{
    if (m_rtp >= 0) {
        ::close(m_rtp);
        m_rtp = -1;
    }
    if (m_rtcp >= 0) {
        ::close(m_rtcp);
        m_rtcp = -1;
    }
    m_localPort = 0;
}

RtpSession::Stats RtpSession::stats() const
{
    std::lock_guard<std::mutex> guard(m_statsLock);
    return m_stats;
}
