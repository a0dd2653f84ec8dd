#pragma once

#include "SipAudioDecoder.h"
#include "SipG711.h"

// G.711 at 8000 Hz mono, either law: two PCM bytes per code byte.
class SipG711Decoder : public SipAudioDecoder
{
public:
    explicit SipG711Decoder(SipG711::Law law);
    ~SipG711Decoder() override;

    int decode(const uint8_t *data, int bytes, int16_t *out, int capacity) override;

private:
    const SipG711::Law m_law;
};
