#include "AudioTestMedia.h"
#include "RDAudioTranscoder.h"
#include "Tone.h"

#include <QTemporaryDir>
#include <cstring>
#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
}

using namespace AudioTestMedia;

namespace {

struct Params {
    AVCodecParameters *p;
    explicit Params(AVCodecParameters *par) : p(par) {}
    ~Params() { avcodec_parameters_free(&p); }
};

// Pushes every packet and collects what comes out.
std::vector<AVPacket *> transcodeAll(RDAudioTranscoder &t, const std::vector<AVPacket *> &in)
{
    std::vector<AVPacket *> out;
    for (AVPacket *packet : in) {
        t.pushPacket(packet);
        while (AVPacket *p = t.popPacket())
            out.push_back(p);
    }
    return out;
}

std::vector<int16_t> joinPcm(const std::vector<AVPacket *> &packets)
{
    std::vector<int16_t> pcm;
    for (const AVPacket *p : packets) {
        const int16_t *s = reinterpret_cast<const int16_t *>(p->data);
        pcm.insert(pcm.end(), s, s + p->size / 2);
    }
    return pcm;
}

// The first channel without its first `skipFrames` (codec and filter delay).
std::vector<double> steadyPart(const std::vector<int16_t> &pcm, int channels, int skipFrames)
{
    std::vector<double> x = Tone::channel(pcm, channels);
    if (int(x.size()) <= skipFrames)
        return {};
    return std::vector<double>(x.begin() + skipFrames, x.end());
}

} // namespace

TEST(RDAudioTranscoderTest, RoundTripsKeepTheTone)
{
    // Source PCM -> a codec -> PCM at another rate and layout: the tone
    // must come back at its frequency, clean, and with the right length.
    struct Case {
        const char *name;
        int srcRate, srcChannels;
        AVCodecID middle;
        AVSampleFormat middleFormat;
        int middleRate, middleChannels;
        int64_t middleBitRate;
        int outRate, outChannels;
        double hz;
    } cases[] = {
        {"pcm 8k mono -> mu-law -> 48k stereo", 8000, 1, AV_CODEC_ID_PCM_MULAW, AV_SAMPLE_FMT_S16, 8000, 1, 0, 48000,
         2, 1000.0},
        {"pcm 48k stereo -> a-law 8k -> 16k mono", 48000, 2, AV_CODEC_ID_PCM_ALAW, AV_SAMPLE_FMT_S16, 8000, 1, 0,
         16000, 1, 700.0},
        {"pcm 44.1k stereo -> mp3 128k -> 48k mono", 44100, 2, AV_CODEC_ID_MP3, AV_SAMPLE_FMT_FLTP, 44100, 2, 128000,
         48000, 1, 440.0},
        {"pcm 16k mono -> pcm 8k mono -> 48k stereo", 16000, 1, AV_CODEC_ID_PCM_S16LE, AV_SAMPLE_FMT_S16, 8000, 1, 0,
         48000, 2, 1200.0},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const int seconds = 1;
        Params src(params(AV_CODEC_ID_PCM_S16LE, c.srcRate, c.srcChannels, AV_SAMPLE_FMT_S16));
        Params middle(params(c.middle, c.middleRate, c.middleChannels, c.middleFormat, 0, c.middleBitRate));
        Params out(params(AV_CODEC_ID_PCM_S16LE, c.outRate, c.outChannels, AV_SAMPLE_FMT_S16));

        RDAudioTranscoder encode;
        RDAudioTranscoder decode;
        ASSERT_TRUE(encode.open(src.p, middle.p));
        ASSERT_TRUE(decode.open(middle.p, out.p));
        EXPECT_FALSE(encode.isPassThrough());

        std::vector<AVPacket *> in =
            pcmPackets(Tone::sine(c.hz, c.srcRate, c.srcChannels, c.srcRate * seconds), c.srcChannels,
                       c.srcRate / 50);
        std::vector<AVPacket *> coded = transcodeAll(encode, in);
        std::vector<AVPacket *> pcmOut = transcodeAll(decode, coded);
        const std::vector<int16_t> pcm = joinPcm(pcmOut);

        // Every output packet is one 20 ms frame of the output layout.
        for (const AVPacket *p : pcmOut)
            ASSERT_EQ(p->size, c.outRate / 50 * c.outChannels * 2);
        // Codec and resampler delays hold back less than 200 ms (the MP3
        // encoder keeps four frames); nothing is made up.
        const int frames = int(pcm.size()) / c.outChannels;
        EXPECT_GT(frames, c.outRate * seconds * 8 / 10);
        EXPECT_LE(frames, c.outRate * seconds);

        const std::vector<double> steady = steadyPart(pcm, c.outChannels, c.outRate / 10);
        EXPECT_NEAR(Tone::frequency(steady, c.outRate), c.hz, c.hz * 0.01);
        EXPECT_GT(Tone::goertzelShare(steady, c.hz, c.outRate), 0.95);
        if (c.outChannels == 2) {
            EXPECT_EQ(Tone::channel(pcm, 2, 0), Tone::channel(pcm, 2, 1));
        }

        freePackets(in);
        freePackets(coded);
        freePackets(pcmOut);
    }
}

TEST(RDAudioTranscoderTest, EqualParametersPassIndependentClonesInOrder)
{
    Params par(params(AV_CODEC_ID_PCM_MULAW, 8000, 1, AV_SAMPLE_FMT_S16));
    RDAudioTranscoder t;
    ASSERT_TRUE(t.open(par.p, par.p));
    EXPECT_TRUE(t.isPassThrough());
    EXPECT_TRUE(t.isEmpty());
    EXPECT_EQ(t.popPacket(), nullptr);

    std::vector<AVPacket *> in;
    for (int i = 0; i < 3; ++i) {
        AVPacket *p = av_packet_alloc();
        av_new_packet(p, 160);
        std::memset(p->data, 'a' + i, 160);
        in.push_back(p);
        EXPECT_EQ(t.pushPacket(p), 0);
    }
    // The caller's packets change after the push; the queued ones must not.
    for (AVPacket *p : in)
        std::memset(p->data, 'z', 160);
    for (int i = 0; i < 3; ++i) {
        AVPacket *p = t.popPacket();
        ASSERT_NE(p, nullptr);
        ASSERT_EQ(p->size, 160);
        EXPECT_EQ(p->data[0], 'a' + i);
        EXPECT_EQ(p->data[159], 'a' + i);
        av_packet_free(&p);
    }
    EXPECT_TRUE(t.isEmpty());
    freePackets(in);
    t.close();
    t.close();
    EXPECT_EQ(t.popPacket(), nullptr);
}

TEST(RDAudioTranscoderTest, EncoderFrameSizeFollowsDestinationAndEncoder)
{
    struct Case {
        const char *name;
        AVCodecID codec;
        AVSampleFormat format;
        int rate, channels, frameSize;
        int64_t bitRate;
        int expectedSamples; // per output packet
    } cases[] = {
        {"pcm without a frame size: 20 ms", AV_CODEC_ID_PCM_S16LE, AV_SAMPLE_FMT_S16, 48000, 2, 0, 0, 960},
        {"pcm with a frame size", AV_CODEC_ID_PCM_S16LE, AV_SAMPLE_FMT_S16, 8000, 1, 240, 0, 240},
        // MP3 takes only its own frame size; a request of 0 must not
        // leave the encoder refusing every frame.
        {"mp3 without a frame size", AV_CODEC_ID_MP3, AV_SAMPLE_FMT_FLTP, 44100, 2, 0, 128000, 1152},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        Params src(params(AV_CODEC_ID_PCM_S16LE, 44100, 2, AV_SAMPLE_FMT_S16));
        Params dst(params(c.codec, c.rate, c.channels, c.format, c.frameSize, c.bitRate));
        RDAudioTranscoder t;
        ASSERT_TRUE(t.open(src.p, dst.p));
        std::vector<AVPacket *> in = pcmPackets(Tone::sine(500, 44100, 2, 44100), 2, 1024);
        std::vector<AVPacket *> out = transcodeAll(t, in);
        ASSERT_GT(out.size(), 10u);
        for (const AVPacket *p : out) {
            if (c.codec == AV_CODEC_ID_PCM_S16LE)
                ASSERT_EQ(p->size, c.expectedSamples * c.channels * 2);
            else
                ASSERT_EQ(p->duration, c.expectedSamples);
        }
        freePackets(in);
        freePackets(out);
    }
}

TEST(RDAudioTranscoderTest, RefusesWhatCannotBeOpenedAndCloseIsSafe)
{
    Params pcm(params(AV_CODEC_ID_PCM_S16LE, 8000, 1, AV_SAMPLE_FMT_S16));
    Params none(params(AV_CODEC_ID_NONE, 8000, 1, AV_SAMPLE_FMT_S16));
    Params noRate(params(AV_CODEC_ID_PCM_MULAW, 0, 1, AV_SAMPLE_FMT_S16));

    RDAudioTranscoder t;
    EXPECT_FALSE(t.open(nullptr, pcm.p));
    EXPECT_FALSE(t.open(pcm.p, nullptr));
    EXPECT_FALSE(t.open(none.p, pcm.p));
    t.close();
    EXPECT_FALSE(t.open(pcm.p, none.p));
    t.close();
    EXPECT_FALSE(t.open(pcm.p, noRate.p));
    // A transcoder that did not open takes packets without crashing and
    // gives nothing back.
    AVPacket *p = av_packet_alloc();
    av_new_packet(p, 320);
    std::memset(p->data, 0, 320);
    EXPECT_LT(t.pushPacket(p), 0);
    EXPECT_EQ(t.popPacket(), nullptr);
    av_packet_free(&p);
    t.close();
    t.close();
}

TEST(RDAudioTranscoderTest, Mp3FileToTwentyMillisecondPcmFrames)
{
    // The stream-URL road: an MP3 at 44.1 kHz stereo becomes 48 kHz stereo
    // 20 ms frames of the same tone and the same length.
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    const QString file = dir.filePath("tone.mp3");
    ASSERT_TRUE(runFfmpeg({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100:duration=2", "-ac", "2",
                           "-c:a", "libmp3lame", "-b:a", "128k", file}))
        << "ffmpeg could not make the test file";

    std::vector<AVPacket *> packets;
    AVCodecParameters *srcPar = nullptr;
    ASSERT_TRUE(readAudioPackets(file, &packets, &srcPar));
    Params src(srcPar);
    Params dst(params(AV_CODEC_ID_PCM_S16LE, 48000, 2, AV_SAMPLE_FMT_S16));

    RDAudioTranscoder t;
    ASSERT_TRUE(t.open(src.p, dst.p));
    std::vector<AVPacket *> out = transcodeAll(t, packets);
    for (const AVPacket *p : out)
        ASSERT_EQ(p->size, 960 * 2 * 2);
    const std::vector<int16_t> pcm = joinPcm(out);
    const double seconds = double(pcm.size()) / 2 / 48000;
    EXPECT_NEAR(seconds, 2.0, 0.1);
    const std::vector<double> steady = steadyPart(pcm, 2, 4800);
    EXPECT_NEAR(Tone::frequency(steady, 48000), 440.0, 4.0);
    EXPECT_GT(Tone::goertzelShare(steady, 440.0, 48000), 0.95);

    // The same packets described with a wrong rate: the decoder's frames
    // say what they hold, and the tone must not be shifted by the guess.
    Params guessed(params(AV_CODEC_ID_MP3, 22050, 1, AV_SAMPLE_FMT_S16));
    RDAudioTranscoder t2;
    ASSERT_TRUE(t2.open(guessed.p, dst.p));
    std::vector<AVPacket *> out2 = transcodeAll(t2, packets);
    const std::vector<double> steady2 = steadyPart(joinPcm(out2), 2, 4800);
    EXPECT_NEAR(Tone::frequency(steady2, 48000), 440.0, 4.0);

    freePackets(packets);
    freePackets(out);
    freePackets(out2);
}
