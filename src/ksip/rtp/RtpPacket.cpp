#include "RtpPacket.h"

#include <cstring>

RtpPacket::RtpPacket()
{
    m_bytes.reserve(kMaxSize);
}

bool RtpPacket::parse(const uint8_t *data, int length)
{
    m_valid = false;
    m_bytes.clear();
    m_payloadOffset = 0;
    m_payloadLength = 0;
    if (!data || length < kHeaderSize || length > kMaxSize) {
        return false;
    }
    const uint8_t b0 = data[0];
    if ((b0 >> 6) != 2) {
        return false;
    }
    const bool padding = (b0 & 0x20) != 0;
    const bool extension = (b0 & 0x10) != 0;
    const int cc = b0 & 0x0F;
    int offset = kHeaderSize + 4 * cc;
    if (length < offset) {
        return false;
    }
    if (extension) {
        if (length < offset + 4) {
            return false;
        }
        const int words = (data[offset + 2] << 8) | data[offset + 3];
        offset += 4 + 4 * words;
        if (length < offset) {
            return false;
        }
    }
    int end = length;
    if (padding) {
        const int pad = data[length - 1];
        if (pad == 0 || pad > end - offset) {
            return false;
        }
        end -= pad;
    }
    m_bytes.assign(data, data + length);
    m_marker = (data[1] & 0x80) != 0;
    m_payloadType = data[1] & 0x7F;
    m_csrcCount = static_cast<uint8_t>(cc);
    m_sequence = static_cast<uint16_t>((data[2] << 8) | data[3]);
    m_timestamp = (uint32_t(data[4]) << 24) | (uint32_t(data[5]) << 16) | (uint32_t(data[6]) << 8) | data[7];
    m_ssrc = (uint32_t(data[8]) << 24) | (uint32_t(data[9]) << 16) | (uint32_t(data[10]) << 8) | data[11];
    m_payloadOffset = offset;
    m_payloadLength = end - offset;
    m_valid = true;
    return true;
}

int RtpPacket::write(uint8_t payloadType, bool marker, uint16_t sequence, uint32_t timestamp, uint32_t ssrc,
                     const uint8_t *payload, int payloadLength, uint8_t *out, int capacity)
{
    if (!out || payloadType > 127 || payloadLength < 0 || (payloadLength > 0 && !payload)
        || capacity < kHeaderSize + payloadLength) {
        return -1;
    }
    out[0] = 0x80;
    out[1] = static_cast<uint8_t>((marker ? 0x80 : 0) | payloadType);
    out[2] = static_cast<uint8_t>(sequence >> 8);
    out[3] = static_cast<uint8_t>(sequence);
    out[4] = static_cast<uint8_t>(timestamp >> 24);
    out[5] = static_cast<uint8_t>(timestamp >> 16);
    out[6] = static_cast<uint8_t>(timestamp >> 8);
    out[7] = static_cast<uint8_t>(timestamp);
    out[8] = static_cast<uint8_t>(ssrc >> 24);
    out[9] = static_cast<uint8_t>(ssrc >> 16);
    out[10] = static_cast<uint8_t>(ssrc >> 8);
    out[11] = static_cast<uint8_t>(ssrc);
    if (payloadLength > 0) {
        std::memcpy(out + kHeaderSize, payload, payloadLength);
    }
    return kHeaderSize + payloadLength;
}
