#include "P2PPacket.h"

#include <cstring>

namespace {

class Writer
{
public:
    void u8(uint8_t v) { m_out.push_back(v); }
    void u16(uint16_t v)
    {
        u8(uint8_t(v >> 8));
        u8(uint8_t(v));
    }
    void u32(uint32_t v)
    {
        u16(uint16_t(v >> 16));
        u16(uint16_t(v));
    }
    void u64(uint64_t v)
    {
        u32(uint32_t(v >> 32));
        u32(uint32_t(v));
    }
    void bytes(const void *p, size_t n)
    {
        const auto *b = static_cast<const uint8_t *>(p);
        m_out.insert(m_out.end(), b, b + n);
    }
    std::vector<uint8_t> take() { return std::move(m_out); }

private:
    std::vector<uint8_t> m_out;
};

// Bounds-checked reader: every read past the end sets `bad` and yields 0.
class Reader
{
public:
    Reader(const uint8_t *p, size_t n) : m_p(p), m_n(n) {}
    bool need(size_t n)
    {
        if (m_bad || m_n - m_pos < n) {
            m_bad = true;
            return false;
        }
        return true;
    }
    uint8_t u8() { return need(1) ? m_p[m_pos++] : 0; }
    uint16_t u16()
    {
        const uint16_t hi = u8();
        return uint16_t((hi << 8) | u8());
    }
    uint32_t u32()
    {
        const uint32_t hi = u16();
        return (hi << 16) | u16();
    }
    uint64_t u64()
    {
        const uint64_t hi = u32();
        return (hi << 32) | u32();
    }
    const uint8_t *bytes(size_t n)
    {
        if (!need(n))
            return nullptr;
        const uint8_t *r = m_p + m_pos;
        m_pos += n;
        return r;
    }
    bool atEnd() const { return !m_bad && m_pos == m_n; }
    bool bad() const { return m_bad; }

private:
    const uint8_t *m_p;
    size_t m_n;
    size_t m_pos = 0;
    bool m_bad = false;
};

bool readUid(Reader &r, std::string &uid)
{
    const uint8_t n = r.u8();
    if (r.bad() || n > P2PPacket::MaxUidLength)
        return false;
    const uint8_t *p = r.bytes(n);
    if (!p)
        return false;
    uid.assign(reinterpret_cast<const char *>(p), n);
    // The uid is printable ASCII: it names a device and ends up in logs.
    for (char c : uid) {
        if (c < 0x21 || c > 0x7e)
            return false;
    }
    return true;
}

} // namespace

std::vector<uint8_t> P2PPacket::encode() const
{
    if (type == 0 || type >= TypeCount)
        return {};
    Writer w;
    w.u16(Magic);
    w.u8(Version);
    w.u8(type);
    w.u32(connection);
    w.u32(seq);
    w.u32(ack);
    switch (type) {
    case Login:
    case Lookup:
    case Connect:
        if (uid.size() > MaxUidLength)
            return {};
        w.u8(uint8_t(uid.size()));
        w.bytes(uid.data(), uid.size());
        if (type == Login) {
            if (info.size() != LoginInfoSize)
                return {};
            w.bytes(info.data(), info.size());
        }
        break;
    case LoginReply:
    case ConnectReply:
        w.u32(uint32_t(result));
        break;
    case LookupReply:
        w.u32(uint32_t(result));
        w.u32(address);
        w.u16(port);
        break;
    case Data:
        if (payload.size() > MaxSegment || total > MaxMessage)
            return {};
        w.u8(kind);
        w.u8(flags);
        w.u8(channel);
        w.u8(0);
        w.u32(ioType);
        w.u32(total);
        w.u16(uint16_t(payload.size()));
        w.bytes(payload.data(), payload.size());
        break;
    case Ack:
        w.u64(ackBits);
        break;
    case Audio:
        if (payload.empty() || payload.size() > MaxAudio)
            return {};
        w.u8(channel);
        w.u8(0);
        w.u16(uint16_t(payload.size()));
        w.u32(frameNo);
        w.bytes(frameInfo, FrameInfoSize);
        w.bytes(payload.data(), payload.size());
        break;
    default:
        break;
    }
    return w.take();
}

bool P2PPacket::parse(const uint8_t *data, size_t size, P2PPacket &out)
{
    if (!data || size < HeaderSize || size > MaxDatagram)
        return false;
    Reader r(data, size);
    P2PPacket p;
    if (r.u16() != Magic || r.u8() != Version)
        return false;
    p.type = r.u8();
    if (p.type == 0 || p.type >= TypeCount)
        return false;
    p.connection = r.u32();
    p.seq = r.u32();
    p.ack = r.u32();
    switch (p.type) {
    case Login:
    case Lookup:
    case Connect:
        if (!readUid(r, p.uid))
            return false;
        if (p.type == Login) {
            const uint8_t *b = r.bytes(LoginInfoSize);
            if (!b)
                return false;
            p.info.assign(b, b + LoginInfoSize);
        }
        break;
    case LoginReply:
    case ConnectReply:
        p.result = int32_t(r.u32());
        break;
    case LookupReply:
        p.result = int32_t(r.u32());
        p.address = r.u32();
        p.port = r.u16();
        break;
    case Data: {
        p.kind = r.u8();
        p.flags = r.u8();
        p.channel = r.u8();
        const uint8_t reserved = r.u8();
        p.ioType = r.u32();
        p.total = r.u32();
        const uint16_t n = r.u16();
        if (r.bad() || reserved != 0 || p.kind < AvStart || p.kind > AvStop || (p.flags & ~(First | Last)) != 0 || n > MaxSegment ||
            p.total > MaxMessage)
            return false;
        // A first segment announces the whole message, so it cannot be
        // longer than that; a single-segment message is exactly its total.
        if ((p.flags & First) && n > p.total)
            return false;
        if ((p.flags & First) && (p.flags & Last) && n != p.total)
            return false;
        if (p.seq == 0)
            return false;
        const uint8_t *b = r.bytes(n);
        if (!b)
            return false;
        p.payload.assign(b, b + n);
        break;
    }
    case Ack:
        p.ackBits = r.u64();
        break;
    case Audio: {
        p.channel = r.u8();
        const uint8_t reserved = r.u8();
        const uint16_t n = r.u16();
        p.frameNo = r.u32();
        if (r.bad() || reserved != 0 || n == 0 || n > MaxAudio)
            return false;
        const uint8_t *info = r.bytes(FrameInfoSize);
        if (!info)
            return false;
        std::memcpy(p.frameInfo, info, FrameInfoSize);
        const uint8_t *b = r.bytes(n);
        if (!b)
            return false;
        p.payload.assign(b, b + n);
        break;
    }
    default:
        break;
    }
    if (!r.atEnd())
        return false;
    out = std::move(p);
    return true;
}
