#pragma once

#include "MediaCodec.h"
#include "RateConverter.h"

#include <cstdint>
#include <memory>
#include <vector>

class SipAudioEncoder;

// Turns 20 ms frames of the mix (16 kHz mono) into RTP payloads of one
// codec: rate conversion to the codec's PCM rate, channel copy, encoding.
class FrameEncoder
{
public:
    // Samples in one 20 ms mix frame.
    static constexpr int kFrameSamples = 320;
    static constexpr int kMixRate = 16000;
    // Largest payload one frame may take.
    static constexpr int kMaxPayload = 1500;

    FrameEncoder();
    ~FrameEncoder();
    FrameEncoder(const FrameEncoder &) = delete;
    FrameEncoder &operator=(const FrameEncoder &) = delete;

    // False for a codec the switch cannot encode.
    bool init(const MediaCodec &codec);
    // Encodes one mix frame into `out`; the payload length, 0 for nothing.
    int encode(const int16_t *frame, uint8_t *out, int capacity);
    // RTP timestamp units of one frame.
    uint32_t timestampStep() const { return m_timestampStep; }

    // The PCM rate the ksip codecs take for this codec: the clock rate,
    // except G.722 whose coder works on 8 kHz samples.
    static int pcmRate(const MediaCodec &codec);

private:
    std::unique_ptr<SipAudioEncoder> m_encoder;
    std::unique_ptr<RateConverter> m_converter;
    int m_channels = 1;
    uint32_t m_timestampStep = 0;
    std::vector<int16_t> m_mono;
    std::vector<int16_t> m_pcm;
};
