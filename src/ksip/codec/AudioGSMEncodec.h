#pragma once

#include "SipAudioEncoder.h"

// GSM 06.10 full rate, 8000 Hz mono: each 160 samples become one 33-byte frame.
class AudioGSMEncodec : public SipAudioEncoder
{
public:
    AudioGSMEncodec();
    ~AudioGSMEncodec() override;

    int init(const SipPayload &payload) override;
    void release() override;
    int encode(const int16_t *pcm, int bytes, uint8_t *out, int capacity) override;

private:
    struct gsm_state *m_gsm = nullptr;
};
