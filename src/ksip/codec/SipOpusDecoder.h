#pragma once

#include "SipAudioDecoder.h"

struct OpusDecoder;

// Opus to PCM at the payload's clock rate and channels. Packets of 360 bytes or more are dropped.
class SipOpusDecoder : public SipAudioDecoder
{
public:
    SipOpusDecoder();
    ~SipOpusDecoder() override;

    int init(const SipPayload &payload) override;
    void release() override;
    int decode(const uint8_t *data, int bytes, int16_t *out, int capacity) override;

private:
    OpusDecoder *m_decoder = nullptr;
};
