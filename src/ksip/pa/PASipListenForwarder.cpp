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
    PASipAudioFormat::close(m_transcoder);
}

bool PASipListenForwarder::open()
{
    if (!m_session)
        return false;
    AVCodecParameters *dst = PASipAudioFormat::codecParameters(AV_CODEC_ID_PCM_MULAW, 8000, 1, AV_SAMPLE_FMT_S16);
    if (dst)
        dst->frame_size = 160;
    m_transcoder = PASipAudioFormat::openTranscoder(m_receive.parameters(), dst);
    return m_transcoder != nullptr;
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
