#include "AudioTestMedia.h"

#include <QProcess>
#include <cstring>

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
}

namespace AudioTestMedia {

AVCodecParameters *params(AVCodecID codec, int rate, int channels, AVSampleFormat format, int frameSize,
                          int64_t bitRate)
{
    AVCodecParameters *par = avcodec_parameters_alloc();
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = codec;
    par->sample_rate = rate;
    av_channel_layout_default(&par->ch_layout, channels);
    par->format = format;
    par->frame_size = frameSize;
    par->bit_rate = bitRate;
    return par;
}

std::vector<AVPacket *> pcmPackets(const std::vector<int16_t> &pcm, int channels, int samplesPerPacket)
{
    std::vector<AVPacket *> packets;
    const size_t step = size_t(samplesPerPacket) * channels;
    for (size_t at = 0; at + step <= pcm.size(); at += step) {
        AVPacket *packet = av_packet_alloc();
        av_new_packet(packet, int(step * sizeof(int16_t)));
        std::memcpy(packet->data, pcm.data() + at, step * sizeof(int16_t));
        packets.push_back(packet);
    }
    return packets;
}

void freePackets(std::vector<AVPacket *> &packets)
{
    for (AVPacket *packet : packets)
        av_packet_free(&packet);
    packets.clear();
}

bool runFfmpeg(const QStringList &args)
{
    QProcess process;
    process.start("ffmpeg", QStringList{"-y", "-hide_banner", "-loglevel", "error"} + args);
    if (!process.waitForFinished(20000)) {
        process.kill();
        process.waitForFinished(5000);
        return false;
    }
    return process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
}

bool readAudioPackets(const QString &path, std::vector<AVPacket *> *packets, AVCodecParameters **par)
{
    AVFormatContext *input = nullptr;
    if (avformat_open_input(&input, path.toUtf8().constData(), nullptr, nullptr) < 0)
        return false;
    bool ok = false;
    if (avformat_find_stream_info(input, nullptr) >= 0) {
        const int index = av_find_best_stream(input, AVMEDIA_TYPE_AUDIO, -1, -1, nullptr, 0);
        if (index >= 0) {
            *par = avcodec_parameters_alloc();
            avcodec_parameters_copy(*par, input->streams[index]->codecpar);
            AVPacket *packet = av_packet_alloc();
            while (av_read_frame(input, packet) >= 0) {
                if (packet->stream_index == index)
                    packets->push_back(av_packet_clone(packet));
                av_packet_unref(packet);
            }
            av_packet_free(&packet);
            ok = true;
        }
    }
    avformat_close_input(&input);
    return ok;
}

} // namespace AudioTestMedia
