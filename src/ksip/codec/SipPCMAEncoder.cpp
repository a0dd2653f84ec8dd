#include "SipPCMAEncoder.h"

#include "SipG711.h"

SipPCMAEncoder::SipPCMAEncoder() = default;

SipPCMAEncoder::~SipPCMAEncoder() = default;

int SipPCMAEncoder::encode(const int16_t *pcm, int bytes, uint8_t *out, int capacity)
{
    if (!pcm || !out || bytes <= 0) {
        return 0;
    }
    int samples = bytes / 2;
    if (samples > capacity) {
        samples = capacity;
    }
    for (int i = 0; i < samples; ++i) {
        out[i] = SipG711::linearToAlaw(pcm[i]);
    }
    return samples;
}
