#pragma once

#include "SipAudioEncoder.h"

// G.711 A-law, 8000 Hz mono: one byte per sample.
class SipPCMAEncoder : public SipAudioEncoder
{
public:
    SipPCMAEncoder();
    ~SipPCMAEncoder() override;

    int encode(const int16_t *pcm, int bytes, uint8_t *out, int capacity) override;
};
