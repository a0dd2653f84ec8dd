#include "SipG711Encoder.h"

SipG711Encoder::SipG711Encoder(SipG711::Law law)
    : m_law(law)
{
}

SipG711Encoder::~SipG711Encoder() = default;

int SipG711Encoder::encode(const int16_t *pcm, int bytes, uint8_t *out, int capacity)
{
    if (!pcm || !out || bytes <= 0) {
        return 0;
    }
    int samples = bytes / 2;
    if (samples > capacity) {
        samples = capacity;
    }
    for (int i = 0; i < samples; ++i) {
        out[i] = SipG711::fromLinear(m_law, pcm[i]);
    }
    return samples;
}
