#pragma once

#include "MediaCodec.h"
#include "RateConverter.h"

#include <cstdint>
#include <memory>
#include <vector>

class SipAudioDecoder;

// Turns RTP payloads of one codec into 16 kHz mono samples for the mix:
// decoding, channel fold, rate conversion.
class FrameDecoder
{
public:
    FrameDecoder();
    ~FrameDecoder();
    FrameDecoder(const FrameDecoder &) = delete;
    FrameDecoder &operator=(const FrameDecoder &) = delete;

    // False for a codec the switch cannot decode.
    bool init(const MediaCodec &codec);
    // Decodes one payload, appending the samples to `out`; how many.
    int decode(const uint8_t *payload, int length, std::vector<int16_t> *out);

private:
    std::unique_ptr<SipAudioDecoder> m_decoder;
    std::unique_ptr<RateConverter> m_converter;
    int m_channels = 1;
    std::vector<int16_t> m_pcm;
    std::vector<int16_t> m_mono;
};
