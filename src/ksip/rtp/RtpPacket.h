#pragma once

#include <cstdint>
#include <vector>

// One RTP data packet (RFC 3550, version 2): the parsed fixed header and
// where the payload lies in the packet's own bytes.
class RtpPacket
{
public:
    static constexpr int kHeaderSize = 12;
    // Largest datagram a session reads; longer ones are cut and refused.
    static constexpr int kMaxSize = 2048;

    RtpPacket();

    // Parses `length` bytes, copying them into this packet. Strict: version
    // 2, at least 12 + 4*CC bytes, any header extension inside the packet,
    // padding count at least 1 and within what follows the header. Returns
    // false (and leaves the packet invalid) for anything else.
    bool parse(const uint8_t *data, int length);
    bool isValid() const { return m_valid; }

    // Writes a 12-byte header (no CSRC, no extension, no padding) and the
    // payload into `out`; returns the packet length, or -1 when `capacity`
    // is too small or the payload type is above 127.
    static int write(uint8_t payloadType, bool marker, uint16_t sequence, uint32_t timestamp, uint32_t ssrc,
                     const uint8_t *payload, int payloadLength, uint8_t *out, int capacity);

    uint8_t payloadType() const { return m_payloadType; }
    bool marker() const { return m_marker; }
    uint16_t sequence() const { return m_sequence; }
    uint32_t timestamp() const { return m_timestamp; }
    uint32_t ssrc() const { return m_ssrc; }
    int csrcCount() const { return m_csrcCount; }
    const uint8_t *payload() const { return m_bytes.data() + m_payloadOffset; }
    int payloadLength() const { return m_payloadLength; }
    // The whole packet as received.
    const uint8_t *data() const { return m_bytes.data(); }
    int length() const { return static_cast<int>(m_bytes.size()); }

private:
    std::vector<uint8_t> m_bytes;
    bool m_valid = false;
    bool m_marker = false;
    uint8_t m_payloadType = 0;
    uint8_t m_csrcCount = 0;
    uint16_t m_sequence = 0;
    uint32_t m_timestamp = 0;
    uint32_t m_ssrc = 0;
    int m_payloadOffset = 0;
    int m_payloadLength = 0;
};
