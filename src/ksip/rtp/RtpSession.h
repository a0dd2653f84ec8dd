#pragma once

#include "RtpPacket.h"

#include <cstdint>
#include <mutex>
#include <netinet/in.h>

// One RTP stream over UDP: the data socket on an even port and the RTCP
// socket on the port above it (RTCP that arrives is read and dropped; a BYE
// goes out when the session ends). The sender has a random SSRC, first
// sequence number and first timestamp. The receiver checks every datagram
// strictly, keeps packets from the peer only (its own SSRC included, as an
// echo returns it) and drops duplicates and packets that arrive after a
// later one was handed on.
//
// The peer is the destination address and port. A peer behind NAT sends
// from another address: as long as nothing came from the destination, the
// first other source is latched and kept (symmetric RTP); any further
// source is dropped, so nobody else on the network can inject audio. Once
// the destination itself is heard it is the only source kept. Without a
// destination every source is kept.
//
// Threads: one thread sends, another receives; wake() may be called from
// any thread to end a receive() wait at once.
class RtpSession
{
public:
    struct Stats
    {
        uint64_t sent = 0;       // packets sent
        uint64_t received = 0;   // packets handed on
        uint64_t malformed = 0;  // datagrams refused by the parser
        uint64_t duplicates = 0; // sequence number seen before
        uint64_t late = 0;       // older than the newest handed on
        uint64_t lost = 0;       // sequence numbers skipped
        uint64_t rtcp = 0;       // RTCP datagrams read and dropped
        uint64_t foreign = 0;    // from a source other than the peer
    };

    RtpSession();
    ~RtpSession();

    RtpSession(const RtpSession &) = delete;
    RtpSession &operator=(const RtpSession &) = delete;

    // Binds `localPort` (even, above 0) and the port above it on `bindIp`
    // (null or empty: every address). 0, or -1 when either cannot be bound.
    int open(const char *bindIp, int localPort);
    // Where packets go: a dotted IPv4 address and the even data port; RTCP
    // goes to the port above. Also the peer whose packets are kept (see
    // above); a new destination forgets a latched source. -1 for an address
    // that is not one.
    int setDestination(const char *ip, int port);
    // Sends one packet: sequence + 1, timestamp + `timestampIncrement`
    // (added after the packet, so the first packet carries the random first
    // timestamp). Returns the bytes sent or -1.
    int sendPacket(const uint8_t *payload, int length, uint8_t payloadType, bool marker,
                   uint32_t timestampIncrement);
    // Waits at most `timeoutMs` (negative: without limit) for datagrams and
    // reads up to `max` valid packets into `packets` (an array of at least
    // `max`). Returns how many, 0 on time-out or wake(), -1 when closed.
    int receive(RtpPacket *packets, int max, int timeoutMs);
    // Ends a receive() that is waiting, now or at its next call.
    void wake();
    // Sends an RTCP receiver report and BYE for this sender's SSRC.
    void sendBye();
    void close();

    bool isOpen() const { return m_rtp >= 0; }
    int localPort() const { return m_localPort; }
    uint32_t ssrc() const { return m_ssrc; }
    // The sequence number and timestamp the next packet will carry.
    uint16_t nextSequence() const { return m_sequence; }
    uint32_t nextTimestamp() const { return m_timestamp; }
    Stats stats() const;

private:
    // True when the packet should be handed on; updates the statistics.
    bool accept(const RtpPacket &packet);
    // True when a datagram from `from` comes from the peer (latching it when
    // it may); counts the others.
    bool fromPeer(const sockaddr_in &from);

    int m_rtp = -1;
    int m_rtcp = -1;
    int m_wake = -1;
    int m_localPort = 0;
    sockaddr_in m_dest{};
    sockaddr_in m_rtcpDest{};
    bool m_hasDest = false;

    uint32_t m_ssrc;
    uint16_t m_sequence;
    uint32_t m_timestamp;

    // Receive side.
    std::mutex m_peerLock;
    sockaddr_in m_peer{};         // the destination: the negotiated peer
    bool m_hasPeer = false;
    bool m_peerHeard = false;     // a packet came from m_peer itself
    sockaddr_in m_latched{};      // the source taken while m_peer was silent
    bool m_hasLatched = false;
    bool m_haveSource = false;
    uint32_t m_sourceSsrc = 0;
    uint16_t m_maxSequence = 0;
    uint64_t m_seenWindow = 0; // bit i: m_maxSequence - i was handed on

    mutable std::mutex m_statsLock;
    Stats m_stats;
};
