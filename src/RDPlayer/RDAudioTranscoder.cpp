#include "RDAudioTranscoder.h"

#include "RDLog.h"

#include <cstring>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/fifo.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace {
constexpr int kResampleSamples = 1024;

// Parameters filled through the older channel fields get the same layout
// in the current ones, so both sides compare and open alike.
void completeLayout(AVCodecParameters *par)
{
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    if (par->ch_layout.nb_channels > 0)
        return;
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    const int channels = par->channels;
    const uint64_t mask = par->channel_layout;
#pragma GCC diagnostic pop
    if (mask && av_channel_layout_from_mask(&par->ch_layout, mask) == 0 && par->ch_layout.nb_channels > 0)
        return;
    av_channel_layout_uninit(&par->ch_layout);
    if (channels > 0)
        av_channel_layout_default(&par->ch_layout, channels);
}

uint64_t layoutMask(const AVChannelLayout &layout)
{
    return layout.order == AV_CHANNEL_ORDER_NATIVE ? layout.u.mask : 0;
}

AVFrame *allocAudioFrame(int samples, int format, int rate, const AVChannelLayout &layout)
{
    AVFrame *frame = av_frame_alloc();
    if (!frame)
        return nullptr;
    frame->nb_samples = samples;
    frame->format = format;
    frame->sample_rate = rate;
    if (av_channel_layout_copy(&frame->ch_layout, &layout) < 0 || av_frame_get_buffer(frame, 0) < 0) {
        av_frame_free(&frame);
        return nullptr;
    }
    frame->pts = AV_NOPTS_VALUE;
    frame->pkt_dts = AV_NOPTS_VALUE;
    return frame;
}
} // namespace

RDAudioTranscoder::RDAudioTranscoder() = default;

RDAudioTranscoder::~RDAudioTranscoder()
{
    close();
}

bool RDAudioTranscoder::open(const AVCodecParameters *src, const AVCodecParameters *dst)
{
    if (!src || !dst)
        return false;
    close();
    m_srcParams = avcodec_parameters_alloc();
    m_dstParams = avcodec_parameters_alloc();
    if (!m_srcParams || !m_dstParams || avcodec_parameters_copy(m_srcParams, src) < 0 ||
        avcodec_parameters_copy(m_dstParams, dst) < 0)
        return false;
    completeLayout(m_srcParams);
    completeLayout(m_dstParams);

    if (m_srcParams->sample_rate == m_dstParams->sample_rate &&
        layoutMask(m_srcParams->ch_layout) == layoutMask(m_dstParams->ch_layout) &&
        m_srcParams->ch_layout.nb_channels == m_dstParams->ch_layout.nb_channels &&
        m_srcParams->format == m_dstParams->format && m_srcParams->codec_id == m_dstParams->codec_id) {
        m_mode = 0;
        m_queueOpen = true;
        return true;
    }
    m_mode = 1;

    m_decoder = avcodec_find_decoder(m_srcParams->codec_id);
    if (!m_decoder) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "no decoder for codec %d", int(m_srcParams->codec_id));
        return false;
    }
    m_decoderContext = avcodec_alloc_context3(m_decoder);
    if (!m_decoderContext || avcodec_parameters_to_context(m_decoderContext, m_srcParams) < 0 ||
        avcodec_open2(m_decoderContext, m_decoder, nullptr) < 0) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "decoder open failure, codec %d", int(m_srcParams->codec_id));
        avcodec_free_context(&m_decoderContext);
        return false;
    }

    m_encoder = avcodec_find_encoder(m_dstParams->codec_id);
    if (m_encoder)
        m_encoderContext = avcodec_alloc_context3(m_encoder);
    if (m_encoderContext && avcodec_parameters_to_context(m_encoderContext, m_dstParams) >= 0)
        m_encoderContext->time_base = AVRational{1, m_dstParams->sample_rate > 0 ? m_dstParams->sample_rate : 1};
    if (!m_encoderContext || m_encoderContext->sample_rate <= 0 ||
        avcodec_open2(m_encoderContext, m_encoder, nullptr) < 0) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "encoder open failure, codec %d", int(m_dstParams->codec_id));
        avcodec_free_context(&m_encoderContext);
        return false;
    }

    // An encoder that takes only frames of its own size (MP3: 1152) gets
    // exactly those; the others get the size asked for, or 20 ms.
    int frameSize = m_dstParams->frame_size;
    if (frameSize < 1)
        frameSize = m_encoderContext->sample_rate / 50;
    if (m_encoderContext->frame_size > 0 &&
        !(m_encoder->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE))
        frameSize = m_encoderContext->frame_size;
    m_encoderFrame = allocAudioFrame(frameSize, m_encoderContext->sample_fmt, m_encoderContext->sample_rate,
                                     m_encoderContext->ch_layout);
    if (!m_encoderFrame)
        return false;

    if (!setupConverter(m_decoderContext->sample_fmt, m_decoderContext->sample_rate, &m_decoderContext->ch_layout))
        return false;

    m_resampleFrame = allocAudioFrame(kResampleSamples, m_encoderContext->sample_fmt, m_encoderContext->sample_rate,
                                      m_encoderContext->ch_layout);
    m_decodedFrame = av_frame_alloc();
    m_encodedPacket = av_packet_alloc();
    if (!m_resampleFrame || !m_decodedFrame || !m_encodedPacket)
        return false;

    const AVSampleFormat format = m_encoderContext->sample_fmt;
    const int bytes = av_get_bytes_per_sample(format);
    const int channels = m_encoderContext->ch_layout.nb_channels;
    const bool planar = av_sample_fmt_is_planar(format);
    const int planes = planar ? channels : 1;
    const int planeBytesPerSample = planar ? bytes : bytes * channels;
    m_blockBytes = planeBytesPerSample * frameSize;
    for (int i = 0; i < planes; ++i) {
        // One second of audio, never grown: a frame that does not fit is lost.
        AVFifo *fifo = av_fifo_alloc2(size_t(m_encoderContext->sample_rate) * planeBytesPerSample, 1, 0);
        if (!fifo)
            return false;
        m_fifos.push_back(fifo);
    }
    m_queueOpen = true;
    return true;
}

bool RDAudioTranscoder::setupConverter(int format, int rate, const void *layoutPtr)
{
    const AVChannelLayout *layout = static_cast<const AVChannelLayout *>(layoutPtr);
    swr_free(&m_swr);
    m_swrInFormat = -1;
    AVChannelLayout in;
    if (layout->nb_channels > 0)
        av_channel_layout_copy(&in, layout);
    else
        av_channel_layout_default(&in, 1);
    int ret = swr_alloc_set_opts2(&m_swr, &m_encoderContext->ch_layout, m_encoderContext->sample_fmt,
                                  m_encoderContext->sample_rate, &in, static_cast<AVSampleFormat>(format), rate, 0,
                                  nullptr);
    if (ret >= 0)
        ret = swr_init(m_swr);
    if (ret < 0) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "converter set-up failure %d (format %d, rate %d)", ret,
                    format, rate);
        swr_free(&m_swr);
        av_channel_layout_uninit(&in);
        return false;
    }
    m_swrInFormat = format;
    m_swrInRate = rate;
    m_swrInChannels = in.nb_channels;
    m_swrInMask = layoutMask(in);
    av_channel_layout_uninit(&in);
    return true;
}

int RDAudioTranscoder::pushPacket(const AVPacket *packet)
{
    if (!packet || !m_queueOpen)
        return AVERROR(EINVAL);
    if (m_mode == 0) {
        // A copy of the bytes, not a second reference: the caller may reuse
        // or refill its packet's buffer once this returns.
        AVPacket *clone = av_packet_alloc();
        if (!clone)
            return AVERROR(ENOMEM);
        if (av_new_packet(clone, packet->size) < 0 || av_packet_copy_props(clone, packet) < 0) {
            av_packet_free(&clone);
            return AVERROR(ENOMEM);
        }
        if (packet->size > 0)
            memcpy(clone->data, packet->data, size_t(packet->size));
        m_queue.push_back(clone);
        return 0;
    }
    const int sent = avcodec_send_packet(m_decoderContext, packet);
    if (sent < 0)
        return sent;
    while (avcodec_receive_frame(m_decoderContext, m_decodedFrame) >= 0) {
        convertFrame(m_decodedFrame);
        av_frame_unref(m_decodedFrame);
    }
    return 0;
}

void RDAudioTranscoder::convertFrame(const AVFrame *decoded)
{
    // The converter reads the frame as it was built for; a frame in another
    // format (a stream that changed, parameters that were guessed) gets one
    // of its own first, or planes that are not there would be read.
    if (decoded->format != m_swrInFormat || decoded->sample_rate != m_swrInRate ||
        decoded->ch_layout.nb_channels != m_swrInChannels ||
        (m_swrInMask && layoutMask(decoded->ch_layout) && layoutMask(decoded->ch_layout) != m_swrInMask)) {
        if (!setupConverter(decoded->format, decoded->sample_rate, &decoded->ch_layout))
            return;
    }
    if (!m_swr)
        return;
    if (av_frame_make_writable(m_resampleFrame) < 0)
        return;
    const uint8_t **in = const_cast<const uint8_t **>(decoded->extended_data);
    int produced = swr_convert(m_swr, m_resampleFrame->extended_data, m_resampleFrame->nb_samples, in,
                               decoded->nb_samples);
    while (produced > 0) {
        storeConverted(produced);
        encodeBlocks();
        // Collect what did not fit into the frame. An empty input, not a
        // null one: a null input would end the stream and pad its tail.
        produced = swr_convert(m_swr, m_resampleFrame->extended_data, m_resampleFrame->nb_samples, in, 0);
    }
}

void RDAudioTranscoder::storeConverted(int samples)
{
    const AVSampleFormat format = static_cast<AVSampleFormat>(m_resampleFrame->format);
    const int bytes = av_get_bytes_per_sample(format);
    const bool planar = av_sample_fmt_is_planar(format);
    const int channels = m_resampleFrame->ch_layout.nb_channels;
    const size_t planeBytes = size_t(samples) * bytes * (planar ? 1 : channels);
    // All planes or none, so the channels stay aligned.
    for (AVFifo *fifo : m_fifos) {
        if (av_fifo_can_write(fifo) < planeBytes)
            return;
    }
    for (size_t i = 0; i < m_fifos.size(); ++i)
        av_fifo_write(m_fifos[i], m_resampleFrame->extended_data[i], planeBytes);
}

void RDAudioTranscoder::encodeBlocks()
{
    while (!m_fifos.empty() && av_fifo_can_read(m_fifos[0]) >= size_t(m_blockBytes)) {
        if (av_frame_make_writable(m_encoderFrame) < 0)
            return;
        for (size_t i = 0; i < m_fifos.size(); ++i)
            av_fifo_read(m_fifos[i], m_encoderFrame->extended_data[i], m_blockBytes);
        if (avcodec_send_frame(m_encoderContext, m_encoderFrame) < 0)
            continue;
        drainEncoder();
    }
}

void RDAudioTranscoder::drainEncoder()
{
    while (avcodec_receive_packet(m_encoderContext, m_encodedPacket) >= 0) {
        m_encodedPacket->time_base = m_encoderContext->time_base;
        AVPacket *out = av_packet_alloc();
        if (!out) {
            av_packet_unref(m_encodedPacket);
            continue;
        }
        av_packet_move_ref(out, m_encodedPacket);
        m_queue.push_back(out);
    }
}

AVPacket *RDAudioTranscoder::popPacket()
{
    if (m_queue.empty())
        return nullptr;
    AVPacket *packet = m_queue.front();
    m_queue.pop_front();
    return packet;
}

bool RDAudioTranscoder::isEmpty() const
{
    return m_queue.empty();
}

void RDAudioTranscoder::close()
{
    for (AVPacket *packet : m_queue)
        av_packet_free(&packet);
    m_queue.clear();
    m_queueOpen = false;
    av_frame_free(&m_encoderFrame);
    avcodec_free_context(&m_encoderContext);
    avcodec_free_context(&m_decoderContext);
    for (AVFifo *fifo : m_fifos)
        av_fifo_freep2(&fifo);
    m_fifos.clear();
    av_frame_free(&m_resampleFrame);
    av_frame_free(&m_decodedFrame);
    av_packet_free(&m_encodedPacket);
    swr_free(&m_swr);
    m_swrInFormat = -1;
    avcodec_parameters_free(&m_srcParams);
    avcodec_parameters_free(&m_dstParams);
    m_decoder = nullptr;
    m_encoder = nullptr;
    m_blockBytes = 0;
    m_mode = 0;
}
