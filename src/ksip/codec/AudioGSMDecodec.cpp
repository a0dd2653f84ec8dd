#include "AudioGSMDecodec.h"

#include <gsm.h>

namespace {
constexpr int kSamples = 160;
constexpr int kFrameBytes = 33;
} // namespace

AudioGSMDecodec::AudioGSMDecodec() = default;

AudioGSMDecodec::~AudioGSMDecodec()
{
    release();
}

int AudioGSMDecodec::init(const SipPayload &payload)
{
    SipAudioDecoder::init(payload);
    release();
    m_gsm = gsm_create();
    return m_gsm ? 0 : -1;
}

void AudioGSMDecodec::release()
{
    if (m_gsm) {
        gsm_destroy(m_gsm);
        m_gsm = nullptr;
    }
}

int AudioGSMDecodec::decode(const uint8_t *data, int bytes, int16_t *out, int capacity)
{
    if (!m_gsm || !data || !out) {
        return 0;
    }
    // Each whole 33-byte frame gives 160 samples; a frame without the GSM
    // signature nibble ends the packet.
    int written = 0;
    for (int used = 0; bytes - used >= kFrameBytes && capacity - written >= kSamples * 2; used += kFrameBytes) {
        if (gsm_decode(m_gsm, const_cast<gsm_byte *>(data + used), out + written / 2) != 0) {
            break;
        }
        written += kSamples * 2;
    }
    return written;
}
