// PCM output through Qt Multimedia, against a private PulseAudio server with
// one null sink, and without any sound server.
#include "PulseServerProcess.h"
#include "RDPcmPlayer.h"
#include "RDThread.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#include <thread>
#include <vector>

namespace {

AVFrame *toneFrame(int rate, int channels, AVSampleFormat format, int samples)
{
    AVFrame *frame = av_frame_alloc();
    frame->format = format;
    frame->sample_rate = rate;
    frame->nb_samples = samples;
    av_channel_layout_default(&frame->ch_layout, channels);
    if (av_frame_get_buffer(frame, 0) < 0)
        av_frame_free(&frame);
    else
        av_samples_set_silence(frame->extended_data, 0, samples, channels, format);
    return frame;
}

TEST(PcmPlayerTest, WithoutASoundServerEveryWriteIsRefused)
{
    qunsetenv("PULSE_SERVER");
    RDPcmPlayer player;
    if (player.start() == 0)
        GTEST_SKIP() << "this machine has a sound output";
    const char bytes[64] = {0};
    EXPECT_EQ(player.write(bytes, sizeof(bytes)), -1);
    AVFrame *frame = toneFrame(48000, 2, AV_SAMPLE_FMT_S16, 480);
    EXPECT_EQ(player.writeFrame(frame), -1);
    av_frame_free(&frame);
    player.stop();
}

class PcmPlayerPulseTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!server.start(10000))
            GTEST_SKIP() << "no PulseAudio server: " << server.errorText().toStdString();
        ASSERT_EQ(player.start(), 0);
        ASSERT_TRUE(player.isStarted());
    }

    PulseServerProcess server{"pa_player_sink", "PlayerSink"};
    RDPcmPlayer player;
};

// Frames of any layout are converted and written; the device takes them
// at its own pace, which bounds how long a second of audio takes to write.
TEST_F(PcmPlayerPulseTest, WritesConvertedFramesAtTheDevicePace)
{
    const QAudioFormat format = player.format();
    ASSERT_TRUE(format.isValid());
    QElapsedTimer clock;
    clock.start();
    // Two seconds of 44.1 kHz mono planar float, in 1024-sample frames.
    AVFrame *frame = toneFrame(44100, 1, AV_SAMPLE_FMT_FLTP, 1024);
    ASSERT_NE(frame, nullptr);
    for (int i = 0; i < 2 * 44100 / 1024; ++i)
        ASSERT_EQ(player.writeFrame(frame), 0);
    av_frame_free(&frame);
    // Whatever the device buffers, most of two seconds had to be played.
    EXPECT_GT(clock.elapsed(), 600);
    EXPECT_LT(clock.elapsed(), 8000);
}

TEST_F(PcmPlayerPulseTest, MutedWritesReturnAtOnceAndAbortEndsABlockedWrite)
{
    player.setVolume(0.0f);
    std::vector<char> second(size_t(player.format().bytesForDuration(1000000)), 0);
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < 10; ++i)
        EXPECT_EQ(player.write(second.data(), int(second.size())), int(second.size()));
    EXPECT_LT(clock.elapsed(), 500);

    // Ten seconds asked for; abort ends the write long before.
    player.setVolume(1.0f);
    std::vector<char> ten(second.size() * 10, 0);
    std::thread writer([&] { player.write(ten.data(), int(ten.size())); });
    RDThread::msleep(300);
    clock.restart();
    player.abort();
    writer.join();
    EXPECT_LT(clock.elapsed(), 500);
    player.stop();
    EXPECT_FALSE(player.isStarted());
}

} // namespace
