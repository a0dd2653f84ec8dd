#pragma once

#include "SipAudioEncoder.h"

// G.722 at 64000 bit/s with the coder's 8 kHz sample-rate option: 8000 Hz mono in, one code byte per
// sample out.
class AudioG722Encodec : public SipAudioEncoder
{
public:
    AudioG722Encodec();
    ~AudioG722Encodec() override;

    int init(const SipPayload &payload) override;
    void release() override;
    int encode(const int16_t *pcm, int bytes, uint8_t *out, int capacity) override;

private:
    struct g722_encode_state_s *m_state = nullptr;
};
