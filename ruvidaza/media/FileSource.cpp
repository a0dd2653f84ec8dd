#include "FileSource.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>

namespace {

std::string averror(int code)
{
    char text[AV_ERROR_MAX_STRING_SIZE] = {0};
    av_strerror(code, text, sizeof(text));
    return text;
}

} // namespace

FileSource::FileSource() = default;

FileSource::~FileSource()
{
    close();
}

void FileSource::close()
{
    swr_free(&m_swr);
    avcodec_free_context(&m_codec);
    avformat_close_input(&m_format);
    av_packet_free(&m_packet);
    av_frame_free(&m_frame);
    m_stream = -1;
}

bool FileSource::open(const std::string &path, std::string *error)
{
    close();
    m_path = path;
    m_ended = false;
    m_flushed = false;
    m_delivered = 0;
    m_pending.clear();
    // Always a local file: a name like "pipe:0" or "concat:a|b" is a file
    // name here, never a protocol, and a playlist file may not reach out to
    // the network either.
    AVDictionary *options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    int rc = avformat_open_input(&m_format, ("file:" + path).c_str(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) {
        *error = "cannot open: " + averror(rc);
        return false;
    }
    rc = avformat_find_stream_info(m_format, nullptr);
    if (rc < 0) {
        *error = "cannot read: " + averror(rc);
        close();
        return false;
    }
    const AVCodec *decoder = nullptr;
    m_stream = av_find_best_stream(m_format, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (m_stream < 0 || !decoder) {
        *error = "no audio stream";
        close();
        return false;
    }
    const AVStream *stream = m_format->streams[m_stream];
    m_codec = avcodec_alloc_context3(decoder);
    if (!m_codec || avcodec_parameters_to_context(m_codec, stream->codecpar) < 0
        || avcodec_open2(m_codec, decoder, nullptr) < 0) {
        *error = "no decoder for the audio stream";
        close();
        return false;
    }
    AVChannelLayout in;
    if (m_codec->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || m_codec->ch_layout.nb_channels <= 0) {
        av_channel_layout_default(&in, std::max(1, m_codec->ch_layout.nb_channels));
    } else {
        av_channel_layout_copy(&in, &m_codec->ch_layout);
    }
    AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO;
    rc = swr_alloc_set_opts2(&m_swr, &mono, AV_SAMPLE_FMT_S16, kRate, &in, m_codec->sample_fmt,
                             m_codec->sample_rate, 0, nullptr);
    av_channel_layout_uninit(&in);
    if (rc < 0 || m_codec->sample_rate <= 0 || swr_init(m_swr) < 0) {
        *error = "cannot resample the audio stream";
        close();
        return false;
    }
    m_packet = av_packet_alloc();
    m_frame = av_frame_alloc();
    if (!m_packet || !m_frame) {
        *error = "out of memory";
        close();
        return false;
    }
    if (stream->duration != AV_NOPTS_VALUE && stream->time_base.den > 0) {
        m_durationMs = av_rescale_q(stream->duration, stream->time_base, AVRational{1, 1000});
    } else if (m_format->duration != AV_NOPTS_VALUE) {
        m_durationMs = m_format->duration / (AV_TIME_BASE / 1000);
    } else {
        m_durationMs = -1;
    }
    return true;
}

void FileSource::convert(const AVFrame *frame)
{
    const int room = swr_get_out_samples(m_swr, frame ? frame->nb_samples : 0);
    if (room <= 0) {
        return;
    }
    const size_t before = m_pending.size();
    m_pending.resize(before + room);
    uint8_t *out = reinterpret_cast<uint8_t *>(m_pending.data() + before);
    const int n = swr_convert(m_swr, &out, room, frame ? const_cast<const uint8_t **>(frame->extended_data) : nullptr,
                              frame ? frame->nb_samples : 0);
    m_pending.resize(before + std::max(0, n));
}

void FileSource::fill(size_t want)
{
    while (m_pending.size() < want && !m_ended && m_codec) {
        const int got = avcodec_receive_frame(m_codec, m_frame);
        if (got == 0) {
            convert(m_frame);
            av_frame_unref(m_frame);
            continue;
        }
        if (got == AVERROR_EOF) {
            convert(nullptr); // what the resampler still holds
            m_ended = true;
            break;
        }
        if (got != AVERROR(EAGAIN)) {
            m_ended = true; // a decoder that fails for good ends the file
            break;
        }
        if (m_flushed) {
            m_ended = true;
            break;
        }
        const int rc = av_read_frame(m_format, m_packet);
        if (rc < 0) {
            avcodec_send_packet(m_codec, nullptr);
            m_flushed = true;
            continue;
        }
        if (m_packet->stream_index == m_stream) {
            // A damaged packet is skipped; the file plays on.
            avcodec_send_packet(m_codec, m_packet);
        }
        av_packet_unref(m_packet);
    }
}

int FileSource::read(int16_t *out, int count)
{
    fill(static_cast<size_t>(count));
    const int n = std::min<int>(count, static_cast<int>(m_pending.size()));
    std::copy(m_pending.begin(), m_pending.begin() + n, out);
    std::fill(out + n, out + count, 0);
    m_pending.erase(m_pending.begin(), m_pending.begin() + n);
    m_delivered += n;
    return n;
}
