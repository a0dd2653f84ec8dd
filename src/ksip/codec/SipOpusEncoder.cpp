#include "SipOpusEncoder.h"

#include <opus/opus.h>

SipOpusEncoder::SipOpusEncoder() = default;

SipOpusEncoder::~SipOpusEncoder()
{
    release();
}

int SipOpusEncoder::init(const SipPayload &payload)
{
    SipAudioEncoder::init(payload);
    release();
    int err = OPUS_OK;
    m_encoder = opus_encoder_create(m_payload.clockRate(), m_payload.channels(), OPUS_APPLICATION_AUDIO, &err);
    if (err != OPUS_OK || !m_encoder) {
        release();
        return err != OPUS_OK ? err : OPUS_ALLOC_FAIL;
    }
    opus_encoder_ctl(m_encoder, OPUS_SET_SIGNAL(OPUS_SIGNAL_MUSIC));
    opus_encoder_ctl(m_encoder, OPUS_SET_BITRATE(m_payload.clockRate()));
    opus_encoder_ctl(m_encoder, OPUS_SET_VBR(0));
    opus_encoder_ctl(m_encoder, OPUS_SET_VBR_CONSTRAINT(0));
    opus_encoder_ctl(m_encoder, OPUS_SET_COMPLEXITY(10));
    opus_encoder_ctl(m_encoder, OPUS_SET_INBAND_FEC(0));
    opus_encoder_ctl(m_encoder, OPUS_SET_FORCE_CHANNELS(OPUS_AUTO));
    opus_encoder_ctl(m_encoder, OPUS_SET_DTX(0));
    opus_encoder_ctl(m_encoder, OPUS_SET_PACKET_LOSS_PERC(0));
    opus_encoder_ctl(m_encoder, OPUS_SET_LSB_DEPTH(16));
    opus_encoder_ctl(m_encoder, OPUS_SET_EXPERT_FRAME_DURATION(OPUS_FRAMESIZE_ARG));
    opus_encoder_ctl(m_encoder, OPUS_SET_APPLICATION(OPUS_APPLICATION_AUDIO));
    return 0;
}

void SipOpusEncoder::release()
{
    if (m_encoder) {
        opus_encoder_destroy(m_encoder);
        m_encoder = nullptr;
    }
}

int SipOpusEncoder::encode(const int16_t *pcm, int bytes, uint8_t *out, int capacity)
{
    const int channels = m_payload.channels() > 0 ? m_payload.channels() : 1;
    if (!m_encoder || !pcm || !out || bytes <= 0 || capacity <= 0) {
        return 0;
    }
    const int frameSize = bytes / channels / 2;
    const int n = opus_encode(m_encoder, pcm, frameSize, out, capacity);
    return n > 0 ? n : 0;
}
