#include "P2PSession.h"

#include <algorithm>
#include <cstring>

P2PSession::P2PSession(uint32_t connection_, const sockaddr_in &peer_, State state_, double now)
    : connection(connection_), peer(peer_), state(state_), lastHeard(now), lastSent(now)
{
}

bool P2PSession::isFrom(const sockaddr_in &from) const
{
    return from.sin_addr.s_addr == peer.sin_addr.s_addr && from.sin_port == peer.sin_port;
}

bool P2PSession::queueMessage(uint8_t kind, uint8_t channel, uint32_t ioType, const uint8_t *data, size_t size)
{
    if (size > P2PPacket::MaxMessage || (size > 0 && !data))
        return false;
    if (m_queuedBytes + size > MaxQueuedBytes)
        return false;
    size_t pos = 0;
    do {
        const size_t n = std::min(P2PPacket::MaxSegment, size - pos);
        P2PPacket p;
        p.type = P2PPacket::Data;
        p.connection = connection;
        p.seq = m_nextSeq++;
        if (m_nextSeq == 0)
            m_nextSeq = 1;
        p.kind = kind;
        p.channel = channel;
        p.ioType = ioType;
        p.total = uint32_t(size);
        p.flags = uint8_t((pos == 0 ? P2PPacket::First : 0) | (pos + n == size ? P2PPacket::Last : 0));
        if (n)
            p.payload.assign(data + pos, data + pos + n);
        pos += n;
        m_waiting.push_back(std::move(p));
    } while (pos < size);
    m_queuedBytes += size;
    return true;
}

void P2PSession::collectDue(double now, std::vector<P2PPacket> &out)
{
    if (state != State::Open)
        return;
    for (Outgoing &o : m_inFlight) {
        if (o.acked)
            continue;
        const double rto = std::min(MaxRto, BaseRto * double(1 << std::min(o.tries - 1, 4)));
        if (now - o.sentAt >= rto) {
            o.sentAt = now;
            ++o.tries;
            out.push_back(o.packet);
        }
    }
    while (!m_waiting.empty() && m_inFlight.size() < Window) {
        Outgoing o;
        o.packet = std::move(m_waiting.front());
        m_waiting.pop_front();
        o.sentAt = now;
        o.tries = 1;
        out.push_back(o.packet);
        m_inFlight.push_back(std::move(o));
    }
}

void P2PSession::onAck(uint32_t cumulative, uint64_t bits)
{
    for (Outgoing &o : m_inFlight) {
        const int32_t ahead = int32_t(o.packet.seq - cumulative);
        if (ahead < 0)
            o.acked = true;
        else if (ahead >= 1 && ahead <= 64 && (bits & (uint64_t(1) << (ahead - 1))))
            o.acked = true;
    }
    while (!m_inFlight.empty() && m_inFlight.front().acked) {
        m_queuedBytes -= std::min(m_queuedBytes, m_inFlight.front().packet.payload.size());
        m_inFlight.pop_front();
    }
}

bool P2PSession::onData(const P2PPacket &p)
{
    const int32_t ahead = int32_t(p.seq - m_expected);
    if (ahead < 0)
        return true; // a repeat: acknowledge again, keep nothing
    if (ahead >= int32_t(Window))
        return false;
    if (m_inboxBytes >= MaxInboxBytes)
        return false;
    if (ahead > 0) {
        m_early.emplace(p.seq, p);
        return true;
    }
    deliver(p);
    for (auto it = m_early.find(m_expected); it != m_early.end(); it = m_early.find(m_expected)) {
        const P2PPacket next = std::move(it->second);
        m_early.erase(it);
        deliver(next);
    }
    return true;
}

void P2PSession::deliver(const P2PPacket &s)
{
    ++m_expected;
    if (m_expected == 0)
        m_expected = 1;
    if (s.flags & P2PPacket::First) {
        // A new message ends one left unfinished: the peer broke its stream.
        m_partial = Message();
        m_partial.kind = s.kind;
        m_partial.channel = s.channel;
        m_partial.ioType = s.ioType;
        m_assembling = true;
        m_partialTotal = s.total;
    } else if (!m_assembling) {
        return;
    }
    if (s.kind != m_partial.kind || s.channel != m_partial.channel ||
        m_partial.bytes.size() + s.payload.size() > m_partialTotal) {
        m_assembling = false;
        m_partial = Message();
        return;
    }
    m_partial.bytes.insert(m_partial.bytes.end(), s.payload.begin(), s.payload.end());
    if (s.flags & P2PPacket::Last) {
        m_assembling = false;
        if (m_partial.bytes.size() == m_partialTotal) {
            m_inboxBytes += m_partial.bytes.size() + MessageOverhead;
            m_inbox.push_back(std::move(m_partial));
            cond.notify_all();
        }
        m_partial = Message();
    }
}

P2PPacket P2PSession::makeAck() const
{
    P2PPacket a;
    a.type = P2PPacket::Ack;
    a.connection = connection;
    a.ack = m_expected;
    for (const auto &e : m_early) {
        const int32_t ahead = int32_t(e.first - m_expected);
        if (ahead >= 1 && ahead <= 64)
            a.ackBits |= uint64_t(1) << (ahead - 1);
    }
    return a;
}

bool P2PSession::onAudio(const P2PPacket &p)
{
    if (m_haveFrame && int32_t(p.frameNo - m_lastFrameNo) <= 0)
        return false;
    m_haveFrame = true;
    m_lastFrameNo = p.frameNo;
    Frame f;
    f.channel = p.channel;
    f.frameNo = p.frameNo;
    std::memcpy(f.info, p.frameInfo, sizeof f.info);
    f.bytes = p.payload;
    m_audio.push_back(std::move(f));
    if (m_audio.size() > MaxAudioFrames)
        m_audio.pop_front();
    frameCond.notify_all();
    return true;
}

double P2PSession::nextRetransmit(double fallback) const
{
    double t = fallback;
    for (const Outgoing &o : m_inFlight) {
        if (!o.acked)
            t = std::min(t, o.sentAt + std::min(MaxRto, BaseRto * double(1 << std::min(o.tries - 1, 4))));
    }
    return t;
}

bool P2PSession::takeMessage(uint8_t kind, uint8_t channel, Message &out)
{
    for (auto it = m_inbox.begin(); it != m_inbox.end(); ++it) {
        if (it->kind == kind && it->channel == channel) {
            out = std::move(*it);
            m_inboxBytes -= out.bytes.size() + MessageOverhead;
            m_inbox.erase(it);
            return true;
        }
    }
    return false;
}

bool P2PSession::takeFrame(uint8_t channel, Frame &out)
{
    for (auto it = m_audio.begin(); it != m_audio.end(); ++it) {
        if (it->channel == channel) {
            out = std::move(*it);
            m_audio.erase(it);
            return true;
        }
    }
    return false;
}

void P2PSession::close(int reason)
{
    if (state == State::Closed)
        return;
    state = State::Closed;
    closeReason = reason;
    m_waiting.clear();
    m_inFlight.clear();
    m_queuedBytes = 0;
    cond.notify_all();
    frameCond.notify_all();
}
