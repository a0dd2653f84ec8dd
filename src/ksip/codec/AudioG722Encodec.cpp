#include "AudioG722Encodec.h"

extern "C" {
#include <spandsp.h>
}

AudioG722Encodec::AudioG722Encodec() = default;

AudioG722Encodec::~AudioG722Encodec()
{
    release();
}

int AudioG722Encodec::init(const SipPayload &payload)
{
    SipAudioEncoder::init(payload);
    release();
    m_state = g722_encode_init(nullptr, 64000, G722_SAMPLE_RATE_8000);
    return m_state ? 0 : -1;
}

void AudioG722Encodec::release()
{
    if (m_state) {
        g722_encode_free(m_state);
        m_state = nullptr;
    }
}

int AudioG722Encodec::encode(const int16_t *pcm, int bytes, uint8_t *out, int capacity)
{
    if (!m_state || !pcm || !out || bytes <= 0) {
        return 0;
    }
    // With the 8 kHz option each sample gives one code byte.
    int samples = bytes / 2;
    if (samples > capacity) {
        samples = capacity;
    }
    const int n = g722_encode(m_state, out, pcm, samples);
    return n > 0 ? n : 0;
}
