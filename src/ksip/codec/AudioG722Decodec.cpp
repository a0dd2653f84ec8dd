#include "AudioG722Decodec.h"

extern "C" {
#include <spandsp.h>
}

AudioG722Decodec::AudioG722Decodec() = default;

AudioG722Decodec::~AudioG722Decodec()
{
    release();
}

int AudioG722Decodec::init(const SipPayload &payload)
{
    SipAudioDecoder::init(payload);
    release();
    m_state = g722_decode_init(nullptr, 64000, G722_SAMPLE_RATE_8000);
    return m_state ? 0 : -1;
}

void AudioG722Decodec::release()
{
    if (m_state) {
        g722_decode_free(m_state);
        m_state = nullptr;
    }
}

int AudioG722Decodec::decode(const uint8_t *data, int bytes, int16_t *out, int capacity)
{
    if (!m_state || !data || !out || bytes <= 0) {
        return 0;
    }
    int codes = bytes;
    if (codes > capacity / 2) {
        codes = capacity / 2;
    }
    const int samples = g722_decode(m_state, out, data, codes);
    return samples > 0 ? samples * 2 : 0;
}
