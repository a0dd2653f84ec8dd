#include "PASipListenForwarder.h"

#include "KelAudioFrame.h"
#include "KelClient.h"
#include "RDAudioTranscoder.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

PASipListenForwarder::PASipListenForwarder(const std::shared_ptr<KelClient> &session,
                                           const PASipAudioFormat &receive)
    : m_session(session)
    , m_receive(receive)
{
}

PASipListenForwarder::~PASipListenForwarder()
{
    if (m_transcoder) {
        m_transcoder->close();
        delete m_transcoder;
    }
}

bool PASipListenForwarder::open()
{
    if (!m_session)
        return false;
    AVCodecParameters *src = m_receive.parameters();
    AVCodecParameters *dst = avcodec_parameters_alloc();
    bool ok = false;
    if (src && dst) {
        dst->codec_type = AVMEDIA_TYPE_AUDIO;
        dst->codec_id = AV_CODEC_ID_PCM_MULAW;
        dst->format = AV_SAMPLE_FMT_S16;
        dst->sample_rate = 8000;
        PASipAudioFormat::setLayout(dst, 1);
        dst->frame_size = 160;
        m_transcoder = new RDAudioTranscoder;
        ok = m_transcoder->open(src, dst);
        if (!ok) {
            m_transcoder->close();
            delete m_transcoder;
            m_transcoder = nullptr;
        }
    }
    avcodec_parameters_free(&src);
    avcodec_parameters_free(&dst);
    return ok;
}

void PASipListenForwarder::write(const int16_t *pcm, int bytes)
{
    if (!m_transcoder || m_finished)
        return;
    PASipAudioFormat::push(*m_transcoder, reinterpret_cast<const uint8_t *>(pcm), bytes);
    while (AVPacket *packet = m_transcoder->popPacket()) {
        if (!m_finished && !m_session->isOpen())
            m_finished = true;
        if (!m_finished && packet->size > 0) {
            KelAudioFrame frame;
            frame.codec = 0;
            frame.channels = 1;
            frame.sampleRate = 8000;
            frame.data.assign(packet->data, packet->data + packet->size);
            frame.offset = 0;
            frame.length = packet->size;
            m_session->queueAudio(frame);
        }
        av_packet_free(&packet);
    }
}
