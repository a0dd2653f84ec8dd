#pragma once

#include "SipAudioEncoder.h"

// G.711 mu-law, 8000 Hz mono: one byte per sample.
class SipPCMUEncoder : public SipAudioEncoder
{
public:
    SipPCMUEncoder();
    ~SipPCMUEncoder() override;

    int encode(const int16_t *pcm, int bytes, uint8_t *out, int capacity) override;
};
