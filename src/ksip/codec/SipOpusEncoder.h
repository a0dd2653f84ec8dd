#pragma once

#include "SipAudioEncoder.h"

struct OpusEncoder;

// Opus at the payload's clock rate and channels (48000 Hz stereo), constant bit rate at the clock-rate
// value in bit/s, complexity 10, no FEC, no DTX.
class SipOpusEncoder : public SipAudioEncoder
{
public:
    SipOpusEncoder();
    ~SipOpusEncoder() override;

    int init(const SipPayload &payload) override;
    void release() override;
    int encode(const int16_t *pcm, int bytes, uint8_t *out, int capacity) override;

private:
    OpusEncoder *m_encoder = nullptr;
};
