#pragma once

#include "SipAudioDecoder.h"

// GSM 06.10 full rate: each 33-byte frame becomes 160 samples; a frame without the 0xD signature is refused.
class AudioGSMDecodec : public SipAudioDecoder
{
public:
    AudioGSMDecodec();
    ~AudioGSMDecodec() override;

    int init(const SipPayload &payload) override;
    void release() override;
    int decode(const uint8_t *data, int bytes, int16_t *out, int capacity) override;

private:
    struct gsm_state *m_gsm = nullptr;
};
