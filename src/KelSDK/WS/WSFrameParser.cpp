#include "WSFrameParser.h"

WSFrameParser::WSFrameParser(size_t maxPayload, bool requireMask)
    : m_maxPayload(maxPayload), m_requireMask(requireMask)
{
}

WSFrameParser::Result WSFrameParser::parse(const uint8_t *data, size_t size, Frame &out) const
{
    Result r;
    if (!data || size < 2)
        return r;

    const bool fin = (data[0] & 0x80) != 0;
    const int opcode = data[0] & 0x0F;
    const bool masked = (data[1] & 0x80) != 0;
    uint64_t length = data[1] & 0x7F;
    size_t pos = 2;

    auto bad = [&r](uint16_t code) {
        r.status = Status::Bad;
        r.closeCode = code;
        return r;
    };

    if (m_requireMask && !masked)
        return bad(CloseProtocolError);

    if (length == 126) {
        if (size < pos + 2)
            return r;
        length = (uint64_t(data[2]) << 8) | data[3];
        pos += 2;
    } else if (length == 127) {
        if (size < pos + 8)
            return r;
        length = 0;
        for (int i = 0; i < 8; ++i)
            length = (length << 8) | data[pos + size_t(i)];
        pos += 8;
        // Section 5.2: the most significant bit must be 0. Anything past the
        // cap is refused before a byte of it is buffered.
        if (length >> 63)
            return bad(CloseProtocolError);
    }

    // Control frames: at most 125 bytes and never fragmented (section 5.5).
    if (opcode >= 8 && (length > 125 || !fin))
        return bad(CloseProtocolError);
    if (length > m_maxPayload)
        return bad(CloseTooBig);

    uint8_t key[4] = {0, 0, 0, 0};
    if (masked) {
        if (size < pos + 4)
            return r;
        for (int i = 0; i < 4; ++i)
            key[i] = data[pos + size_t(i)];
        pos += 4;
    }
    if (size - pos < length)
        return r;

    out.fin = fin;
    out.opcode = opcode;
    out.masked = masked;
    out.payload.assign(data + pos, data + pos + length);
    if (masked) {
        for (size_t i = 0; i < out.payload.size(); ++i)
            out.payload[i] ^= key[i & 3];
    }
    r.status = Status::Ok;
    r.consumed = pos + size_t(length);
    return r;
}
