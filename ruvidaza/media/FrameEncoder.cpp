#include "FrameEncoder.h"

#include "SipAudioEncoder.h"
#include "SipPayload.h"

#include <strings.h>

FrameEncoder::FrameEncoder() = default;

FrameEncoder::~FrameEncoder() = default;

int FrameEncoder::pcmRate(const MediaCodec &codec)
{
    if (strcasecmp(codec.name.c_str(), "G722") == 0) {
        return 8000;
    }
    return codec.clockRate;
}

bool FrameEncoder::init(const MediaCodec &codec)
{
    if (codec.clockRate <= 0 || codec.channels < 1 || codec.channels > 2 || codec.payloadType < 0
        || codec.payloadType > 127) {
        return false;
    }
    const SipPayload payload(codec.name.c_str(), codec.payloadType, codec.clockRate, codec.channels,
                             codec.fmtp.empty() ? nullptr : codec.fmtp.c_str());
    m_encoder.reset(SipAudioEncoder::create(payload));
    if (!m_encoder) {
        return false;
    }
    const int rate = pcmRate(codec);
    if (rate % kMixRate != 0 && kMixRate % rate != 0) {
        m_encoder.reset();
        return false;
    }
    m_converter = std::make_unique<RateConverter>(kMixRate, rate);
    m_channels = codec.channels;
    m_timestampStep = static_cast<uint32_t>(codec.clockRate / 50);
    return true;
}

int FrameEncoder::encode(const int16_t *frame, uint8_t *out, int capacity)
{
    if (!m_encoder) {
        return 0;
    }
    m_mono.clear();
    m_converter->convert(frame, kFrameSamples, &m_mono);
    const int16_t *pcm = m_mono.data();
    int samples = static_cast<int>(m_mono.size());
    if (m_channels == 2) {
        m_pcm.resize(m_mono.size() * 2);
        for (size_t i = 0; i < m_mono.size(); ++i) {
            m_pcm[2 * i] = m_mono[i];
            m_pcm[2 * i + 1] = m_mono[i];
        }
        pcm = m_pcm.data();
        samples *= 2;
    }
    return m_encoder->encode(pcm, samples * 2, out, capacity);
}
