// The input and decoder stages without an output, and the audio converter.
#include "PlayerTestMedia.h"
#include "RDAudioConverter.h"
#include "RDBasePlayerInputPacket.h"
#include "RDPlayerDecoder.h"
#include "RDPlayerInput.h"
#include "RDThread.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <functional>

namespace {

bool waitUntil(const std::function<bool()> &condition, double seconds)
{
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > seconds * 1000)
            return false;
        RDThread::msleep(10);
    }
    return true;
}

TEST(PlayerInputTest, QueueLimitHoldsReadingAndDropWhenFullThrowsTheBacklogAway)
{
    ASSERT_TRUE(PlayerTestMedia::instance().isReady());
    for (bool drop : {false, true}) {
        RDPlayerInput input;
        RDBasePlayerInputPacket *packet = nullptr;
        EXPECT_EQ(input.popVideoPacket(&packet), -1);
        input.setUrl(PlayerTestMedia::instance().path("long.mp4"));
        input.setVideoQueueLimit(10);
        input.setDropWhenFull(drop);
        ASSERT_EQ(input.start(), 0);
        // Nobody takes packets. Without dropping, reading waits just past the
        // limit; with dropping, it reads on to the end (75 video packets)
        // and never holds more than the limit allows.
        if (drop) {
            ASSERT_TRUE(waitUntil([&] { return !input.isRunning(); }, 5.0));
        } else {
            ASSERT_TRUE(waitUntil([&] { return input.videoPacketCount() > 10; }, 5.0));
            RDThread::msleep(200);
            EXPECT_TRUE(input.isRunning());
        }
        EXPECT_GT(input.videoPacketCount(), 0) << "drop " << drop;
        EXPECT_LE(input.videoPacketCount(), 11) << "drop " << drop;
        EXPECT_NEAR(input.duration(), 3.0, 0.05);
        input.stop();
        EXPECT_FALSE(input.isRunning());
    }
}

TEST(PlayerDecoderTest, AudioIsDecodedOnlyWhileSwitchedOn)
{
    ASSERT_TRUE(PlayerTestMedia::instance().isReady());
    RDPlayerInput input;
    input.setUrl(PlayerTestMedia::instance().path("long.mp4"));
    RDPlayerDecoder decoder;
    decoder.setSource(&input);
    decoder.setDecodeAudio(false);
    ASSERT_EQ(input.start(), 0);
    ASSERT_EQ(decoder.start(), 0);

    // Video fills its small queue and waits there; audio packets are taken
    // and dropped undecoded.
    ASSERT_TRUE(waitUntil([&] { return decoder.videoFrameCount() > 4; }, 5.0));
    RDThread::msleep(200);
    EXPECT_EQ(decoder.videoFrameCount(), 5);
    EXPECT_EQ(decoder.audioFrameCount(), 0);

    decoder.setDecodeAudio(true);
    // Reading resumes once video frames are taken.
    for (int i = 0; i < 20 && decoder.audioFrameCount() == 0; ++i) {
        RDBasePlayerDecoderFrame *frame = nullptr;
        if (decoder.popVideoFrame(&frame) == 0)
            decoder.releaseVideoFrame(frame);
        RDThread::msleep(20);
    }
    EXPECT_GT(decoder.audioFrameCount(), 0);
    decoder.stop();
    input.stop();
    EXPECT_FALSE(decoder.isRunning());
}

TEST(AudioConverterTest, ConvertsRateLayoutAndFormatWithoutLosingSamples)
{
    // 48 kHz stereo planar float in, 8 kHz mono 16-bit out.
    RDAudioConverter converter(8000, AV_CH_LAYOUT_MONO, 1, AV_SAMPLE_FMT_S16);
    AVFrame *frame = av_frame_alloc();
    frame->format = AV_SAMPLE_FMT_FLTP;
    frame->sample_rate = 48000;
    frame->nb_samples = 4800;
    av_channel_layout_default(&frame->ch_layout, 2);
    ASSERT_GE(av_frame_get_buffer(frame, 0), 0);
    for (int i = 0; i < 10; ++i) {
        for (int c = 0; c < 2; ++c) {
            auto *samples = reinterpret_cast<float *>(frame->data[c]);
            for (int s = 0; s < frame->nb_samples; ++s)
                samples[s] = 0.5f;
        }
        ASSERT_EQ(converter.convert(frame), 0);
    }
    av_frame_free(&frame);
    // One second in: 8000 samples of 2 bytes out, less the resampler's delay.
    EXPECT_NEAR(converter.available(), 16000, 100);
    int16_t out[1024];
    EXPECT_EQ(converter.read(reinterpret_cast<uint8_t *>(out), sizeof(out)), int(sizeof(out)));
    // A constant level stays a constant level: 0.5 full scale.
    EXPECT_NEAR(out[400], 16384, 200);
}

} // namespace
