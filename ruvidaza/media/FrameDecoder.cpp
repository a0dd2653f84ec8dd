#include "FrameDecoder.h"

#include "FrameEncoder.h"
#include "SipAudioDecoder.h"
#include "SipPayload.h"

namespace {

// 120 ms of 48 kHz stereo: the longest Opus packet.
constexpr int kMaxPcmSamples = 5760 * 2;

} // namespace

FrameDecoder::FrameDecoder() = default;

FrameDecoder::~FrameDecoder() = default;

bool FrameDecoder::init(const MediaCodec &codec)
{
    if (codec.clockRate <= 0 || codec.channels < 1 || codec.channels > 2) {
        return false;
    }
    const SipPayload payload(codec.name.c_str(), codec.payloadType, codec.clockRate, codec.channels,
                             codec.fmtp.empty() ? nullptr : codec.fmtp.c_str());
    m_decoder.reset(SipAudioDecoder::create(payload));
    if (!m_decoder) {
        return false;
    }
    const int rate = FrameEncoder::pcmRate(codec);
    if (rate % FrameEncoder::kMixRate != 0 && FrameEncoder::kMixRate % rate != 0) {
        m_decoder.reset();
        return false;
    }
    m_converter = std::make_unique<RateConverter>(rate, FrameEncoder::kMixRate);
    m_channels = codec.channels;
    m_pcm.resize(kMaxPcmSamples);
    return true;
}

int FrameDecoder::decode(const uint8_t *payload, int length, std::vector<int16_t> *out)
{
    if (!m_decoder || length <= 0) {
        return 0;
    }
    const int bytes = m_decoder->decode(payload, length, m_pcm.data(), static_cast<int>(m_pcm.size() * 2));
    if (bytes <= 0) {
        return 0;
    }
    const int frames = bytes / 2 / m_channels;
    const int16_t *mono = m_pcm.data();
    if (m_channels == 2) {
        m_mono.resize(frames);
        for (int i = 0; i < frames; ++i) {
            m_mono[i] = static_cast<int16_t>((m_pcm[2 * i] + m_pcm[2 * i + 1]) / 2);
        }
        mono = m_mono.data();
    }
    const size_t before = out->size();
    m_converter->convert(mono, frames, out);
    return static_cast<int>(out->size() - before);
}
