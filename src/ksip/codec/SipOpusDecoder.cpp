#include "SipOpusDecoder.h"

#include <opus/opus.h>

namespace {
// Packets this long or longer are not ours to decode.
constexpr int kMaxPacket = 360;
} // namespace

SipOpusDecoder::SipOpusDecoder() = default;

SipOpusDecoder::~SipOpusDecoder()
{
    release();
}

int SipOpusDecoder::init(const SipPayload &payload)
{
    SipAudioDecoder::init(payload);
    release();
    int err = OPUS_OK;
    m_decoder = opus_decoder_create(m_payload.clockRate(), m_payload.channels(), &err);
    if (err != OPUS_OK || !m_decoder) {
        release();
        return err != OPUS_OK ? err : OPUS_ALLOC_FAIL;
    }
    err = opus_decoder_init(m_decoder, m_payload.clockRate(), m_payload.channels());
    if (err != OPUS_OK) {
        release();
        return err;
    }
    return 0;
}

void SipOpusDecoder::release()
{
    if (m_decoder) {
        opus_decoder_destroy(m_decoder);
        m_decoder = nullptr;
    }
}

int SipOpusDecoder::decode(const uint8_t *data, int bytes, int16_t *out, int capacity)
{
    const int channels = m_payload.channels() > 0 ? m_payload.channels() : 1;
    if (!m_decoder || !data || !out || bytes <= 0) {
        return 0;
    }
    if (bytes >= kMaxPacket) {
        return 0;
    }
    const int frameLimit = capacity / channels / 2;
    const int samples = opus_decode(m_decoder, data, bytes, out, frameLimit, 0);
    return samples > 0 ? samples * channels * 2 : 0;
}
