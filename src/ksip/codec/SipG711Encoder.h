#pragma once

#include "SipAudioEncoder.h"
#include "SipG711.h"

// G.711 at 8000 Hz mono, either law: one byte per sample.
class SipG711Encoder : public SipAudioEncoder
{
public:
    explicit SipG711Encoder(SipG711::Law law);
    ~SipG711Encoder() override;

    int encode(const int16_t *pcm, int bytes, uint8_t *out, int capacity) override;

private:
    const SipG711::Law m_law;
};
