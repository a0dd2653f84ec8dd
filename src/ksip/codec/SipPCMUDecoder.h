#pragma once

#include "SipAudioDecoder.h"

// G.711 mu-law, 8000 Hz mono: two PCM bytes per code byte.
class SipPCMUDecoder : public SipAudioDecoder
{
public:
    SipPCMUDecoder();
    ~SipPCMUDecoder() override;

    int decode(const uint8_t *data, int bytes, int16_t *out, int capacity) override;
};
