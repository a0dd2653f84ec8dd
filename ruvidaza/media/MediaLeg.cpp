#include "MediaLeg.h"

#include <algorithm>

namespace {

constexpr int kBatch = 16;
// Packets read per leg and frame at most: a peer that floods the port
// cannot hold the media thread; the socket buffer drops the rest.
constexpr int kMaxBatches = 4;
// Audio held back against arrival jitter: mixing starts once two frames
// wait, and more than 200 ms waiting loses the oldest.
constexpr size_t kPrimeSamples = 2 * FrameEncoder::kFrameSamples;
constexpr size_t kMaxBuffered = FrameEncoder::kMixRate / 5;

} // namespace

MediaLeg::MediaLeg(const std::string &uuid) : m_uuid(uuid), m_packets(kBatch) {}

MediaLeg::~MediaLeg()
{
    close();
}

bool MediaLeg::open(const std::string &ip, int port)
{
    if (m_rtp.open(ip.c_str(), port) != 0) {
        return false;
    }
    m_port = port;
    return true;
}

bool MediaLeg::start(const std::string &conference, const MediaCodec &codec, const std::string &remoteIp,
                     int remotePort)
{
    if (!m_rtp.isOpen() || m_started) {
        return false;
    }
    if (!m_encoder.init(codec) || !m_decoder.init(codec)) {
        return false;
    }
    if (m_rtp.setDestination(remoteIp.c_str(), remotePort) != 0) {
        return false;
    }
    m_conference = conference;
    m_codec = codec;
    m_started = true;
    m_marker = true;
    return true;
}

void MediaLeg::close()
{
    if (m_started) {
        m_rtp.sendBye();
        m_started = false;
    }
    m_rtp.close();
}

void MediaLeg::setMuted(bool muted)
{
    m_muted = muted;
    if (muted) {
        m_received.clear();
        m_primed = false;
    }
}

void MediaLeg::pump()
{
    for (int batch = 0; batch < kMaxBatches; ++batch) {
        const int n = m_rtp.receive(m_packets.data(), kBatch, 0);
        for (int i = 0; i < n && !m_muted; ++i) {
            const RtpPacket &p = m_packets[i];
            // Telephone events, comfort noise and anything else not
            // negotiated are not audio of this leg.
            if (p.payloadType() == m_codec.payloadType) {
                m_decoder.decode(p.payload(), p.payloadLength(), &m_received);
            }
        }
        if (n < kBatch) {
            break;
        }
    }
    if (m_received.size() > kMaxBuffered) {
        m_received.erase(m_received.begin(), m_received.end() - kMaxBuffered);
    }
}

bool MediaLeg::takeFrame(int16_t *frame)
{
    if (m_muted) {
        return false;
    }
    if (!m_primed) {
        if (m_received.size() < kPrimeSamples) {
            return false;
        }
        m_primed = true;
    }
    const size_t n = std::min<size_t>(m_received.size(), FrameEncoder::kFrameSamples);
    std::copy(m_received.begin(), m_received.begin() + n, frame);
    std::fill(frame + n, frame + FrameEncoder::kFrameSamples, 0);
    m_received.erase(m_received.begin(), m_received.begin() + n);
    if (n < static_cast<size_t>(FrameEncoder::kFrameSamples)) {
        m_primed = false; // ran dry: buffer again before the next frame
    }
    return n > 0;
}

void MediaLeg::sendFrame(const int16_t *frame)
{
    uint8_t payload[FrameEncoder::kMaxPayload];
    const int n = m_encoder.encode(frame, payload, sizeof(payload));
    sendPayload(payload, n);
}

void MediaLeg::sendPayload(const uint8_t *payload, int length)
{
    if (!m_started || length <= 0) {
        return;
    }
    m_rtp.sendPacket(payload, length, static_cast<uint8_t>(m_codec.payloadType), m_marker, m_encoder.timestampStep());
    m_marker = false;
}
