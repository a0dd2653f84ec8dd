// Throughput of the audio conversion classes against the bare FFmpeg calls
// they wrap, in the same run: seconds of audio per CPU second ("x_realtime").
//   MP3 44.1 kHz stereo -> PCM 48 kHz stereo in 20 ms frames (stream source)
//   PCM 48 kHz stereo -> MP3 128 kbit/s (live publication)
//   PCM 48 kHz stereo -> 8 kHz mu-law (listening apps)
//   RDAudioResampler 8 kHz mono s16 -> 48 kHz stereo float (sound card)
// Each also checks that the samples out match the samples in at the rate
// ratio, give or take what the codec and filter hold back.
#include "AudioTestMedia.h"
#include "BenchSmoke.h"
#include "RDAudioResampler.h"
#include "RDAudioTranscoder.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <cstring>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libswresample/swresample.h>
}

using AudioTestMedia::freePackets;
using AudioTestMedia::params;

namespace {

int seconds()
{
    return BenchSmoke::on() ? 1 : 10;
}

// Music-like input: two tones and a little noise, interleaved 16-bit.
std::vector<int16_t> music(int rate, int channels, int secs)
{
    std::vector<int16_t> pcm(size_t(rate) * secs * channels);
    unsigned noise = 12345;
    for (size_t i = 0; i < pcm.size() / channels; ++i) {
        noise = noise * 1103515245u + 12345u;
        const double t = double(i) / rate;
        const double v = 6000 * std::sin(2 * M_PI * 440 * t) + 3000 * std::sin(2 * M_PI * 1250 * t) +
                         double(int(noise >> 16) % 1000);
        for (int c = 0; c < channels; ++c)
            pcm[i * channels + c] = int16_t(v);
    }
    return pcm;
}

// Runs `in` through a fresh transcoder; returns the output samples per
// channel (PCM) or the summed packet durations (coded).
long long transcode(const AVCodecParameters *src, const AVCodecParameters *dst, const std::vector<AVPacket *> &in,
                    int pcmFrameBytes, std::vector<AVPacket *> *keep = nullptr)
{
    RDAudioTranscoder t;
    if (!t.open(src, dst))
        return -1;
    long long samples = 0;
    for (AVPacket *p : in) {
        t.pushPacket(p);
        while (AVPacket *out = t.popPacket()) {
            samples += pcmFrameBytes > 0 ? out->size / pcmFrameBytes : out->duration;
            if (keep)
                keep->push_back(out);
            else
                av_packet_free(&out);
        }
    }
    return samples;
}

struct Mp3Source {
    AVCodecParameters *par = nullptr;
    std::vector<AVPacket *> packets;
    Mp3Source()
    {
        AVCodecParameters *pcm = params(AV_CODEC_ID_PCM_S16LE, 44100, 2, AV_SAMPLE_FMT_S16);
        par = params(AV_CODEC_ID_MP3, 44100, 2, AV_SAMPLE_FMT_FLTP, 0, 128000);
        std::vector<AVPacket *> in = packets_of(music(44100, 2, seconds()));
        transcode(pcm, par, in, 0, &packets);
        freePackets(in);
        avcodec_parameters_free(&pcm);
    }
    ~Mp3Source()
    {
        freePackets(packets);
        avcodec_parameters_free(&par);
    }
    static std::vector<AVPacket *> packets_of(const std::vector<int16_t> &pcm) { return AudioTestMedia::pcmPackets(pcm, 2, 1152); }
};

void checkCount(benchmark::State &state, long long got, double expected, double slack)
{
    if (got < 0 || std::fabs(double(got) - expected) > slack)
        state.SkipWithError("sample count out of range");
}

void reportRate(benchmark::State &state)
{
    state.counters["x_realtime"] =
        benchmark::Counter(double(seconds()) * double(state.iterations()), benchmark::Counter::kIsRate);
}

void BM_Mp3ToPcm48kStereo_Transcoder(benchmark::State &state)
{
    static Mp3Source src;
    AVCodecParameters *dst = params(AV_CODEC_ID_PCM_S16LE, 48000, 2, AV_SAMPLE_FMT_S16);
    long long got = 0;
    for (auto _ : state)
        got = transcode(src.par, dst, src.packets, 4);
    // Decoder and encoder delays: a few MP3 frames at most.
    checkCount(state, got, 48000.0 * seconds(), 6 * 1152 * 48000.0 / 44100 + 960);
    reportRate(state);
    avcodec_parameters_free(&dst);
}
BENCHMARK(BM_Mp3ToPcm48kStereo_Transcoder)->Unit(benchmark::kMillisecond);

void BM_Mp3ToPcm48kStereo_RawDecodeSwr(benchmark::State &state)
{
    static Mp3Source src;
    long long got = 0;
    for (auto _ : state) {
        const AVCodec *codec = avcodec_find_decoder(AV_CODEC_ID_MP3);
        AVCodecContext *ctx = avcodec_alloc_context3(codec);
        avcodec_parameters_to_context(ctx, src.par);
        avcodec_open2(ctx, codec, nullptr);
        SwrContext *swr = nullptr;
        AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
        swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_S16, 48000, &ctx->ch_layout, ctx->sample_fmt,
                            ctx->sample_rate, 0, nullptr);
        swr_init(swr);
        AVFrame *frame = av_frame_alloc();
        std::vector<int16_t> out(4096 * 2);
        got = 0;
        for (AVPacket *p : src.packets) {
            avcodec_send_packet(ctx, p);
            while (avcodec_receive_frame(ctx, frame) >= 0) {
                uint8_t *o = reinterpret_cast<uint8_t *>(out.data());
                got += swr_convert(swr, &o, 4096, const_cast<const uint8_t **>(frame->extended_data),
                                   frame->nb_samples);
            }
        }
        benchmark::DoNotOptimize(out.data());
        av_frame_free(&frame);
        swr_free(&swr);
        avcodec_free_context(&ctx);
    }
    checkCount(state, got, 48000.0 * seconds(), 6 * 1152 * 48000.0 / 44100 + 960);
    reportRate(state);
}
BENCHMARK(BM_Mp3ToPcm48kStereo_RawDecodeSwr)->Unit(benchmark::kMillisecond);

void BM_Pcm48kStereoToMp3_Transcoder(benchmark::State &state)
{
    AVCodecParameters *src = params(AV_CODEC_ID_PCM_S16LE, 48000, 2, AV_SAMPLE_FMT_S16);
    AVCodecParameters *dst = params(AV_CODEC_ID_MP3, 48000, 2, AV_SAMPLE_FMT_FLTP, 0, 128000);
    std::vector<AVPacket *> in = AudioTestMedia::pcmPackets(music(48000, 2, seconds()), 2, 960);
    long long got = 0;
    for (auto _ : state)
        got = transcode(src, dst, in, 0);
    checkCount(state, got, 48000.0 * seconds(), 6 * 1152);
    reportRate(state);
    freePackets(in);
    avcodec_parameters_free(&src);
    avcodec_parameters_free(&dst);
}
BENCHMARK(BM_Pcm48kStereoToMp3_Transcoder)->Unit(benchmark::kMillisecond);

void BM_Pcm48kStereoToMp3_RawEncode(benchmark::State &state)
{
    const std::vector<int16_t> pcm = music(48000, 2, seconds());
    long long got = 0;
    for (auto _ : state) {
        const AVCodec *codec = avcodec_find_encoder(AV_CODEC_ID_MP3);
        AVCodecContext *ctx = avcodec_alloc_context3(codec);
        ctx->sample_rate = 48000;
        ctx->sample_fmt = AV_SAMPLE_FMT_FLTP;
        ctx->bit_rate = 128000;
        ctx->time_base = AVRational{1, 48000};
        av_channel_layout_default(&ctx->ch_layout, 2);
        avcodec_open2(ctx, codec, nullptr);
        AVFrame *frame = av_frame_alloc();
        frame->nb_samples = ctx->frame_size;
        frame->format = ctx->sample_fmt;
        av_channel_layout_copy(&frame->ch_layout, &ctx->ch_layout);
        av_frame_get_buffer(frame, 0);
        AVPacket *pkt = av_packet_alloc();
        got = 0;
        const size_t n = size_t(ctx->frame_size);
        for (size_t at = 0; at + n <= pcm.size() / 2; at += n) {
            av_frame_make_writable(frame);
            float *l = reinterpret_cast<float *>(frame->data[0]);
            float *r = reinterpret_cast<float *>(frame->data[1]);
            for (size_t i = 0; i < n; ++i) {
                l[i] = pcm[2 * (at + i)] / 32768.0f;
                r[i] = pcm[2 * (at + i) + 1] / 32768.0f;
            }
            avcodec_send_frame(ctx, frame);
            while (avcodec_receive_packet(ctx, pkt) >= 0) {
                got += pkt->duration;
                av_packet_unref(pkt);
            }
        }
        av_packet_free(&pkt);
        av_frame_free(&frame);
        avcodec_free_context(&ctx);
    }
    checkCount(state, got, 48000.0 * seconds(), 6 * 1152);
    reportRate(state);
}
BENCHMARK(BM_Pcm48kStereoToMp3_RawEncode)->Unit(benchmark::kMillisecond);

void BM_Pcm48kStereoToMulaw8k_Transcoder(benchmark::State &state)
{
    AVCodecParameters *src = params(AV_CODEC_ID_PCM_S16LE, 48000, 2, AV_SAMPLE_FMT_S16);
    AVCodecParameters *dst = params(AV_CODEC_ID_PCM_MULAW, 8000, 1, AV_SAMPLE_FMT_S16);
    std::vector<AVPacket *> in = AudioTestMedia::pcmPackets(music(48000, 2, seconds()), 2, 960);
    long long got = 0;
    for (auto _ : state)
        got = transcode(src, dst, in, 1);
    checkCount(state, got, 8000.0 * seconds(), 160);
    reportRate(state);
    freePackets(in);
    avcodec_parameters_free(&src);
    avcodec_parameters_free(&dst);
}
BENCHMARK(BM_Pcm48kStereoToMulaw8k_Transcoder)->Unit(benchmark::kMillisecond);

void BM_Resampler8kMonoTo48kStereoFloat(benchmark::State &state)
{
    const std::vector<int16_t> pcm = music(8000, 1, seconds());
    std::vector<char> block(7680);
    long long got = 0;
    for (auto _ : state) {
        RDAudioResampler r;
        r.open(8000, 0x4, 1, AV_SAMPLE_FMT_S16, 48000, 0x3, 2, AV_SAMPLE_FMT_FLT);
        got = 0;
        for (size_t at = 0; at + 160 <= pcm.size(); at += 160) {
            r.write(pcm.data() + at, 320);
            while (r.read(block.data(), 7680) == 7680)
                got += 960;
        }
        got += r.available() / 8;
    }
    checkCount(state, got, 48000.0 * seconds(), 960);
    reportRate(state);
}
BENCHMARK(BM_Resampler8kMonoTo48kStereoFloat)->Unit(benchmark::kMillisecond);

void BM_Resampler8kMonoTo48kStereoFloat_RawSwr(benchmark::State &state)
{
    const std::vector<int16_t> pcm = music(8000, 1, seconds());
    std::vector<float> out(2000 * 2);
    long long got = 0;
    for (auto _ : state) {
        SwrContext *swr = nullptr;
        AVChannelLayout mono = AV_CHANNEL_LAYOUT_MONO, stereo = AV_CHANNEL_LAYOUT_STEREO;
        swr_alloc_set_opts2(&swr, &stereo, AV_SAMPLE_FMT_FLT, 48000, &mono, AV_SAMPLE_FMT_S16, 8000, 0, nullptr);
        swr_init(swr);
        got = 0;
        for (size_t at = 0; at + 160 <= pcm.size(); at += 160) {
            const uint8_t *in = reinterpret_cast<const uint8_t *>(pcm.data() + at);
            uint8_t *o = reinterpret_cast<uint8_t *>(out.data());
            got += swr_convert(swr, &o, 2000, &in, 160);
        }
        benchmark::DoNotOptimize(out.data());
        swr_free(&swr);
    }
    checkCount(state, got, 48000.0 * seconds(), 960);
    reportRate(state);
}
BENCHMARK(BM_Resampler8kMonoTo48kStereoFloat_RawSwr)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
