#include "SipPCMADecoder.h"

#include "SipG711.h"

SipPCMADecoder::SipPCMADecoder() = default;

SipPCMADecoder::~SipPCMADecoder() = default;

int SipPCMADecoder::decode(const uint8_t *data, int bytes, int16_t *out, int capacity)
{
    if (!data || !out || bytes <= 0) {
        return 0;
    }
    int samples = bytes;
    if (samples > capacity / 2) {
        samples = capacity / 2;
    }
    for (int i = 0; i < samples; ++i) {
        out[i] = SipG711::alawToLinear(data[i]);
    }
    return samples * 2;
}
