#pragma once

#include "SipAudioDecoder.h"

// G.711 A-law, 8000 Hz mono: two PCM bytes per code byte.
class SipPCMADecoder : public SipAudioDecoder
{
public:
    SipPCMADecoder();
    ~SipPCMADecoder() override;

    int decode(const uint8_t *data, int bytes, int16_t *out, int capacity) override;
};
