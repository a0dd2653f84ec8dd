// The player end to end on short generated media: statuses, pacing,
// pictures of every pixel layout, seeking, stopping and broken sources.
#include "LoopbackStreamServer.h"
#include "PictureSink.h"
#include "PlayerStatusLog.h"
#include "PlayerTestMedia.h"
#include "RDPlayer.h"
#include "RDThread.h"
#include "RDYUV420P.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QElapsedTimer>
#include <QFile>

#include <cmath>

namespace {

// Whether the player's stage threads have all left this process within
// `seconds` (a joined thread may linger a moment before the system drops it).
bool stageThreadsGone(double seconds = 2.0)
{
    static const QStringList names = {"PlayerInput", "DecodeVideo", "DecodeAudio",
                                      "OutputVideo", "OutputAudio", "PlayerRecord"};
    QElapsedTimer clock;
    clock.start();
    for (;;) {
        bool alive = false;
        const QDir tasks(QStringLiteral("/proc/self/task"));
        for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
            QFile comm(tasks.filePath(task + "/comm"));
            if (comm.open(QIODevice::ReadOnly) && names.contains(QString::fromUtf8(comm.readAll()).trimmed()))
                alive = true;
        }
        if (!alive)
            return true;
        if (clock.elapsed() > seconds * 1000)
            return false;
        RDThread::msleep(10);
    }
}

class PlayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(media().isReady()) << media().error().toStdString();
        player.setObserver(&log);
        player.setVideoView(&sink);
    }

    static PlayerTestMedia &media() { return PlayerTestMedia::instance(); }

    PlayerStatusLog log;
    PictureSink sink;
    RDPlayer player;
};

TEST_F(PlayerTest, FilePlaysOutWithFirstPictureProgressAndEndOnce)
{
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(player.play(media().path("av.mp4")), 0);
    ASSERT_TRUE(log.waitFor(3, 20.0));
    const qint64 elapsedMs = clock.elapsed();
    player.stop();

    const auto entries = log.entries();
    ASSERT_FALSE(entries.empty());
    EXPECT_EQ(entries.front().status, 2);
    EXPECT_EQ(entries.back().status, 3);
    EXPECT_EQ(log.count(2), 1);
    EXPECT_EQ(log.count(3), 1);
    EXPECT_EQ(log.count(1), 0);
    // The file ended by itself: stopping afterwards reports nothing more.
    EXPECT_EQ(log.count(4), 0);

    // Every later picture: rising time, the file's length as total.
    double previous = -1.0;
    int progress = 0;
    for (const auto &e : entries) {
        if (e.status != 5)
            continue;
        ++progress;
        EXPECT_GT(e.current, previous);
        EXPECT_NEAR(e.total, 2.0, 0.05);
        previous = e.current;
    }
    // 50 pictures; none is lost at the end (those the decoder held back).
    EXPECT_EQ(progress, 49);
    EXPECT_EQ(sink.count(), 50);
    EXPECT_NEAR(previous, 1.96, 0.05);
    // Paced at the file's own speed, not as fast as it decodes.
    EXPECT_GE(elapsedMs, 1700);
    EXPECT_TRUE(stageThreadsGone());
}

TEST_F(PlayerTest, StopMidPlayReportsStoppedAndEndsEveryStageThread)
{
    ASSERT_EQ(player.play(media().path("long.mp4")), 0);
    ASSERT_TRUE(log.waitFor(2, 20.0));
    EXPECT_FALSE(stageThreadsGone(0.0));
    EXPECT_TRUE(player.isPlaying());

    QElapsedTimer clock;
    clock.start();
    player.stop();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(log.count(4), 1);
    EXPECT_EQ(log.count(3), 0);
    EXPECT_TRUE(stageThreadsGone());
    EXPECT_FALSE(player.isPlaying());

    // Harmless a second time, and no event arrives after stop returned.
    const size_t reported = log.entries().size();
    player.stop();
    RDThread::msleep(100);
    EXPECT_EQ(log.entries().size(), reported);
}

TEST_F(PlayerTest, RefusedUrlReportsOpenFailureOnce)
{
    int port = 0;
    {
        LoopbackStreamServer probe(QByteArray(), 0);
        port = probe.port();
    }
    ASSERT_GT(port, 0);
    ASSERT_EQ(player.play(QStringLiteral("http://127.0.0.1:%1/stream").arg(port)), 0);
    ASSERT_TRUE(log.waitFor(1, 20.0));
    RDThread::msleep(200);
    player.stop();
    // Nothing was shown, so the stages end quietly after the failure.
    EXPECT_EQ(log.statuses(), std::vector<int>({1}));
    EXPECT_EQ(sink.count(), 0);
}

TEST_F(PlayerTest, OpenTimeoutEndsAWaitForASilentServer)
{
    LoopbackStreamServer silent(QByteArray(), 0, true);
    player.setTimeout(0.5);
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(player.play(QString::fromUtf8(silent.url())), 0);
    ASSERT_TRUE(log.waitFor(1, 20.0));
    EXPECT_GE(clock.elapsed(), 400);
    EXPECT_LT(clock.elapsed(), 5000);
    player.stop();
}

TEST_F(PlayerTest, StalledStreamStopsPromptly)
{
    QFile file(media().path("av.ts"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray body = file.readAll();
    // Half the stream arrives, then nothing more while the connection stays open.
    LoopbackStreamServer stalled(body, body.size() / 2);
    ASSERT_EQ(player.play(QString::fromUtf8(stalled.url())), 0);
    ASSERT_TRUE(log.waitFor(2, 20.0));
    RDThread::msleep(1500);
    EXPECT_EQ(log.count(3), 0);

    QElapsedTimer clock;
    clock.start();
    player.stop();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(log.count(4), 1);
    EXPECT_TRUE(stageThreadsGone());
}

struct BrokenCase {
    const char *file;
    // Statuses expected, in order, before stop.
    std::vector<int> statuses;
};

class PlayerBrokenInputTest : public PlayerTest, public ::testing::WithParamInterface<BrokenCase>
{
};

TEST_P(PlayerBrokenInputTest, EndsWithTheDocumentedStatus)
{
    const BrokenCase &c = GetParam();
    ASSERT_EQ(player.play(media().path(c.file)), 0);
    ASSERT_TRUE(log.waitFor(c.statuses.back(), 10.0));
    player.stop();
    std::vector<int> seen;
    for (int s : log.statuses())
        if (s != 5 && s != 4)
            seen.push_back(s);
    EXPECT_EQ(seen, c.statuses);
    EXPECT_TRUE(stageThreadsGone());
}

INSTANTIATE_TEST_SUITE_P(Files, PlayerBrokenInputTest,
                         ::testing::Values(BrokenCase{"zero.mp4", {1}}, BrokenCase{"truncated.mp4", {1}},
                                           BrokenCase{"missing.mp4", {1}}, BrokenCase{"truncated_fast.mp4", {2, 3}},
                                           BrokenCase{"corrupt.ts", {2, 3}}, BrokenCase{"noaudio.mp4", {2, 3}}),
                         [](const auto &info) {
                             QString name = QString::fromUtf8(info.param.file);
                             name.replace('.', '_');
                             return name.toStdString();
                         });

struct LayoutCase {
    const char *file;
    int width;
    int height;
    // Expected luma (limited range, as the view draws it), or -1 to skip;
    // chroma of a gray picture sits at 128.
    int luma;
    bool neutralChroma;
};

class PlayerPixelLayoutTest : public PlayerTest, public ::testing::WithParamInterface<LayoutCase>
{
};

// Pictures of any decoded layout reach the view as tightly packed 4:2:0 of
// the right size, odd sizes keeping their last chroma column and row.
TEST_P(PlayerPixelLayoutTest, ArrivesAsPlanar420)
{
    const LayoutCase &c = GetParam();
    ASSERT_EQ(player.play(media().path(c.file)), 0);
    ASSERT_TRUE(log.waitFor(2, 20.0));
    player.stop();
    ASSERT_TRUE(sink.withLast([&](const RDYUV420P &p) {
        EXPECT_EQ(p.width(), c.width);
        EXPECT_EQ(p.height(), c.height);
        EXPECT_EQ(p.chromaWidth(), (c.width + 1) / 2);
        EXPECT_EQ(p.chromaHeight(), (c.height + 1) / 2);
        if (c.luma >= 0) {
            EXPECT_NEAR(p.y()[(c.height / 2) * c.width + c.width / 2], c.luma, 6);
        }
        if (c.neutralChroma) {
            const int last = p.chromaWidth() * p.chromaHeight() - 1;
            EXPECT_NEAR(p.u()[last], 128, 3);
            EXPECT_NEAR(p.v()[last], 128, 3);
        }
    }));
}

INSTANTIATE_TEST_SUITE_P(Layouts, PlayerPixelLayoutTest,
                         ::testing::Values(LayoutCase{"gray.avi", 64, 48, 188, true},
                                           LayoutCase{"yuv422.mkv", 320, 240, -1, false},
                                           LayoutCase{"odd.avi", 641, 361, -1, false}),
                         [](const auto &info) {
                             QString name = QString::fromUtf8(info.param.file);
                             name.replace('.', '_');
                             return name.toStdString();
                         });

// Raw H.264 carries no presentation timestamps: the pictures still get
// rising times and are paced.
TEST_F(PlayerTest, StreamWithoutTimestampsIsStillPaced)
{
    QElapsedTimer clock;
    clock.start();
    ASSERT_EQ(player.play(media().path("raw.h264")), 0);
    ASSERT_TRUE(log.waitFor(3, 20.0));
    EXPECT_GE(clock.elapsed(), 700);
    player.stop();
    const std::vector<double> times = sink.times();
    ASSERT_EQ(times.size(), 25u);
    for (size_t i = 1; i < times.size(); ++i)
        EXPECT_NEAR(times[i] - times[i - 1], 0.04, 0.005) << "picture " << i;
}

// A seek shows the picture it landed on at once, not after the next key frame.
TEST_F(PlayerTest, SeekShowsTheKeyFrameItLandsOn)
{
    ASSERT_EQ(player.play(media().path("long.mp4")), 0);
    ASSERT_TRUE(log.waitFor(2, 20.0));
    player.seek(1.0);
    ASSERT_TRUE(sink.waitFor([](const RDYUV420P &p) { return p.time() >= 0.95; }, 5.0));
    player.stop();
    double first = -1.0;
    for (double t : sink.times()) {
        if (t >= 0.95) {
            first = t;
            break;
        }
    }
    EXPECT_NEAR(first, 1.0, 0.05);
}

TEST(PlayerLifecycleTest, StopBeforePlayAndViewSetBeforePlay)
{
    RDPlayer player;
    player.stop();
    player.stop();
    EXPECT_EQ(player.position(), -1.0);
    EXPECT_EQ(player.duration(), -1.0);
    EXPECT_FALSE(player.isRecording());
}

} // namespace
