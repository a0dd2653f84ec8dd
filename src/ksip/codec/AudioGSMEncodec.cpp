#include "AudioGSMEncodec.h"

#include <gsm.h>

namespace {
constexpr int kSamples = 160;
constexpr int kFrameBytes = 33;
} // namespace

AudioGSMEncodec::AudioGSMEncodec() = default;

AudioGSMEncodec::~AudioGSMEncodec()
{
    release();
}

int AudioGSMEncodec::init(const SipPayload &payload)
{
    SipAudioEncoder::init(payload);
    release();
    m_gsm = gsm_create();
    return m_gsm ? 0 : -1;
}

void AudioGSMEncodec::release()
{
    if (m_gsm) {
        gsm_destroy(m_gsm);
        m_gsm = nullptr;
    }
}

int AudioGSMEncodec::encode(const int16_t *pcm, int bytes, uint8_t *out, int capacity)
{
    if (!m_gsm || !pcm || !out) {
        return 0;
    }
    // Every whole block of 160 samples becomes one frame.
    int written = 0;
    for (int done = 0; (bytes / 2) - done >= kSamples && capacity - written >= kFrameBytes; done += kSamples) {
        gsm_encode(m_gsm, const_cast<gsm_signal *>(pcm + done), out + written);
        written += kFrameBytes;
    }
    return written;
}
