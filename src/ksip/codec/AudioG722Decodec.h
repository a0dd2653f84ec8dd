#pragma once

#include "SipAudioDecoder.h"

// G.722 at 64000 bit/s with the 8 kHz option: one sample per code byte.
class AudioG722Decodec : public SipAudioDecoder
{
public:
    AudioG722Decodec();
    ~AudioG722Decodec() override;

    int init(const SipPayload &payload) override;
    void release() override;
    int decode(const uint8_t *data, int bytes, int16_t *out, int capacity) override;

private:
    struct g722_decode_state_s *m_state = nullptr;
};
