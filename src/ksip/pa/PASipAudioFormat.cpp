#include "PASipAudioFormat.h"

#include "RDAudioTranscoder.h"
#include "SipFrameQueue.h"
#include "SipPayload.h"
#include "SipStreamFrame.h"
#include "SipString.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
}

#include <cstring>

PASipAudioFormat PASipAudioFormat::forPayload(const SipPayload &payload)
{
    if (SipString::caseEqual(payload.name(), "opus"))
        return PASipAudioFormat(48000, 2);
    return PASipAudioFormat(8000, 1);
}

int PASipAudioFormat::bytesFor(int ms) const
{
    return int(int64_t(m_rate) * bytesPerFrame() * ms / 1000);
}

double PASipAudioFormat::secondsFor(int bytes) const
{
    return isValid() ? double(bytes) / (double(m_rate) * bytesPerFrame()) : 0.0;
}

void PASipAudioFormat::setLayout(AVCodecParameters *par, int channels)
{
    av_channel_layout_uninit(&par->ch_layout);
    if (channels < 2)
        av_channel_layout_from_mask(&par->ch_layout, AV_CH_LAYOUT_MONO);
    else if (channels == 2)
        av_channel_layout_from_mask(&par->ch_layout, AV_CH_LAYOUT_STEREO);
    else
        av_channel_layout_default(&par->ch_layout, channels);
}

AVCodecParameters *PASipAudioFormat::parameters() const
{
    AVCodecParameters *par = codecParameters(AV_CODEC_ID_PCM_S16LE, m_rate, m_channels, AV_SAMPLE_FMT_S16);
    if (par)
        par->frame_size = m_rate / 50;
    return par;
}

RDAudioTranscoder *PASipAudioFormat::openTranscoder(AVCodecParameters *src, AVCodecParameters *dst)
{
    RDAudioTranscoder *transcoder = nullptr;
    if (src && dst) {
        transcoder = new RDAudioTranscoder;
        if (!transcoder->open(src, dst))
            close(transcoder);
    }
    avcodec_parameters_free(&src);
    avcodec_parameters_free(&dst);
    return transcoder;
}

void PASipAudioFormat::close(RDAudioTranscoder *&transcoder)
{
    if (transcoder) {
        transcoder->close();
        delete transcoder;
        transcoder = nullptr;
    }
}

AVCodecParameters *PASipAudioFormat::codecParameters(int codec, int rate, int channels, int sampleFormat)
{
    AVCodecParameters *par = avcodec_parameters_alloc();
    if (!par)
        return nullptr;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = AVCodecID(codec);
    par->format = sampleFormat;
    par->sample_rate = rate;
    setLayout(par, channels);
    return par;
}

int PASipAudioFormat::push(RDAudioTranscoder &transcoder, const uint8_t *data, int bytes)
{
    if (!data || bytes <= 0)
        return 0;
    AVPacket *packet = av_packet_alloc();
    if (!packet)
        return -1;
    int rc = av_new_packet(packet, bytes);
    if (rc == 0) {
        std::memcpy(packet->data, data, size_t(bytes));
        rc = transcoder.pushPacket(packet);
    }
    av_packet_free(&packet);
    return rc;
}

int PASipAudioFormat::drain(RDAudioTranscoder &transcoder, std::vector<uint8_t> &carry, SipFrameQueue &queue) const
{
    const int frameBytes = bytesFor(20);
    while (AVPacket *packet = transcoder.popPacket()) {
        if (packet->data && packet->size > 0)
            carry.insert(carry.end(), packet->data, packet->data + packet->size);
        av_packet_free(&packet);
    }
    if (frameBytes <= 0)
        return 0;
    size_t used = 0;
    int frames = 0;
    while (carry.size() - used >= size_t(frameBytes)) {
        queue.push(new SipStreamFrame(carry.data() + used, frameBytes, 0.020));
        used += size_t(frameBytes);
        ++frames;
    }
    carry.erase(carry.begin(), carry.begin() + long(used));
    return frames;
}
