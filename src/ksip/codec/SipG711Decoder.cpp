#include "SipG711Decoder.h"

SipG711Decoder::SipG711Decoder(SipG711::Law law)
    : m_law(law)
{
}

SipG711Decoder::~SipG711Decoder() = default;

int SipG711Decoder::decode(const uint8_t *data, int bytes, int16_t *out, int capacity)
{
    if (!data || !out || bytes <= 0) {
        return 0;
    }
    int samples = bytes;
    if (samples > capacity / 2) {
        samples = capacity / 2;
    }
    for (int i = 0; i < samples; ++i) {
        out[i] = SipG711::toLinear(m_law, data[i]);
    }
    return samples * 2;
}
