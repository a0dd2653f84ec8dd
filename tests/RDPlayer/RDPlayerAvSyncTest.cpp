// Pictures follow the audio heard, not the wall clock: the sound output of
// a private PulseAudio server is suspended for a while in mid-play, which
// holds the audio where it is; the pictures must wait for it, unless there
// is no audio to follow.
#include "PictureSink.h"
#include "PlatformPulseConnection.h"
#include "PlayerStatusLog.h"
#include "PlayerTestMedia.h"
#include "PulseServerProcess.h"
#include "RDPlayer.h"
#include "RDThread.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <pulse/introspect.h>

#include <algorithm>
#include <cmath>
#include <chrono>
#include <memory>
#include <cstdio>
#include <thread>
#include <vector>

namespace {

const char *const kSink = "pa_avsync_sink";
// One picture of the 25 fps test clips.
const double kFrame = 0.04;
// How long the sound output is held.
const double kStall = 0.8;
// Lag is measured over this long before the hold, and from this long after
// the release (the pictures held back come out at once then).
const double kWindow = 0.4;
const double kSettle = 0.2;
// The audio the sound output may already hold when it is suspended: the
// player takes it as heard, so the pictures may run on by this much.
const double kDeviceBuffer = 0.3;

// Suspends or resumes the test server's sink through `connection`; false
// when the server refused or did not answer within five seconds.
bool suspendSink(PlatformPulseConnection &connection, bool suspend)
{
    struct Reply {
        bool done = false;
        bool ok = false;
    } reply;
    pa_operation *op = pa_context_suspend_sink_by_name(
        connection.context(), kSink, suspend ? 1 : 0,
        [](pa_context *, int success, void *data) {
            auto *r = static_cast<Reply *>(data);
            r->done = true;
            r->ok = success != 0;
        },
        &reply);
    if (!op)
        return false;
    const double deadline = monotonicSeconds() + 5.0;
    while (!reply.done && monotonicSeconds() < deadline && connection.iterate(100)) {
    }
    if (!reply.done)
        pa_operation_cancel(op);
    pa_operation_unref(op);
    return reply.ok;
}

double median(std::vector<double> values)
{
    if (values.empty())
        return 0.0;
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

struct SyncCase {
    const char *name;
    const char *file;
    double volume;
    // Whether the pictures must wait out the held audio.
    bool followsAudio;
};

// Qt's sound client stays with the first server it reaches in a process, so
// every test here shares one server, started on first use.
PulseServerProcess *soundServer(QString *error)
{
    static PulseServerProcess server{kSink, "AvSyncSink"};
    static const bool started = server.start(10000);
    *error = server.errorText();
    return started ? &server : nullptr;
}

class PlayerSyncFixture : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(PlayerTestMedia::instance().isReady()) << PlayerTestMedia::instance().error().toStdString();
        QString error;
        if (!soundServer(&error))
            GTEST_SKIP() << "no PulseAudio server: " << error.toStdString();
        // Made now: a connection reads where the server is when it is made.
        controlConnection = std::make_unique<PlatformPulseConnection>();
        ASSERT_TRUE(controlConnection->connect(5000));
        player.setObserver(&log);
        player.setVideoView(&sink);
    }

    void TearDown() override
    {
        player.stop();
        // The next test starts with the sound output running.
        if (controlConnection && controlConnection->isConnected())
            suspendSink(*controlConnection, false);
    }

    std::unique_ptr<PlatformPulseConnection> controlConnection;
    PlayerStatusLog log;
    PictureSink sink;
    RDPlayer player;
};

class PlayerAvSyncTest : public PlayerSyncFixture, public ::testing::WithParamInterface<SyncCase>
{
};

TEST_P(PlayerAvSyncTest, PicturesWaitForHeldAudioOnlyWhenThereIsAudio)
{
    const SyncCase &c = GetParam();
    player.setVolume(c.volume);
    ASSERT_EQ(player.play(PlayerTestMedia::instance().path(c.file)), 0);

    // Play a while in step (the sound output takes a moment to start), then
    // hold it.
    ASSERT_TRUE(sink.waitFor([](const RDYUV420P &p) { return p.time() >= 1.2; }, 10.0));
    ASSERT_TRUE(suspendSink(*controlConnection, true));
    const double heldAt = monotonicSeconds();
    std::this_thread::sleep_for(std::chrono::duration<double>(kStall));
    ASSERT_TRUE(suspendSink(*controlConnection, false));
    const double releasedAt = monotonicSeconds();
    ASSERT_TRUE(log.waitFor(3, 15.0));
    player.stop();

    // Lag of each picture: when it arrived less its media time. In step it
    // is constant; the stall adds its length to it when the pictures follow
    // the audio, and nothing when they follow the wall clock.
    const std::vector<PictureSink::Arrival> arrivals = sink.arrivals();
    ASSERT_GT(arrivals.size(), 50u);
    const double stall = releasedAt - heldAt;
    std::vector<double> before;
    std::vector<double> after;
    double timeAtHold = -1.0;
    double timeAtRelease = -1.0;
    for (const PictureSink::Arrival &a : arrivals) {
        if (a.at >= heldAt - kWindow && a.at < heldAt)
            before.push_back(a.at - a.time);
        if (a.at > releasedAt + kSettle)
            after.push_back(a.at - a.time);
        if (a.at <= heldAt)
            timeAtHold = a.time;
        if (a.at < releasedAt)
            timeAtRelease = a.time;
    }
    ASSERT_GE(before.size(), 5u);
    ASSERT_GE(after.size(), 5u);
    const double lag = median(before);
    const double shift = median(after) - lag;
    double driftBefore = 0.0;
    for (double value : before)
        driftBefore = std::max(driftBefore, std::fabs(value - lag));
    double driftAfter = 0.0;
    for (double value : after)
        driftAfter = std::max(driftAfter, std::fabs(value - lag - shift));
    const double advanceWhileHeld = timeAtRelease - timeAtHold;
    std::printf("%s: held %.3f s, lag grew %.3f s, pictures advanced %.3f s while held, drift from the clock "
                "followed %.3f s before and %.3f s after\n",
                c.name, stall, shift, advanceWhileHeld, driftBefore, driftAfter);

    // Two pictures of drift, and one more for a loaded machine's scheduling.
    const double reach = 3 * kFrame;
    EXPECT_LE(driftBefore, reach);
    EXPECT_LE(driftAfter, reach);
    if (c.followsAudio) {
        // What the output held when it was suspended may or may not have
        // been played by then.
        EXPECT_LE(shift, stall + reach);
        EXPECT_GE(shift, stall - kDeviceBuffer);
        EXPECT_LE(advanceWhileHeld, kDeviceBuffer + reach);
    } else {
        EXPECT_NEAR(shift, 0.0, reach);
        EXPECT_NEAR(advanceWhileHeld, stall, reach);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, PlayerAvSyncTest,
                         ::testing::Values(SyncCase{"WithAudio", "long.mp4", 1.0, true},
                                           SyncCase{"NoAudioStream", "fast.mp4", 1.0, false},
                                           SyncCase{"Muted", "long.mp4", 0.0, false}),
                         [](const auto &info) { return std::string(info.param.name); });

// A sound output that takes no audio for seconds is given up on as a clock:
// the pictures go on at the wall clock's pace instead of freezing with it.
// Until then, once the audio the output held has been played, the clock
// stands still: the picture waiting for it sleeps until the audio moves or
// the output is given up on, it does not wake up to look.
TEST_F(PlayerSyncFixture, PicturesGoOnWhenTheSoundOutputStaysStuck)
{
    // A joined thread may linger a moment under its name.
    const QList<int> earlier = PaTest::threadIdsNamed("OutputVideo");
    ASSERT_EQ(player.play(PlayerTestMedia::instance().path("long.mp4")), 0);
    ASSERT_TRUE(sink.waitFor([](const RDYUV420P &p) { return p.time() >= 0.4; }, 10.0));
    const QList<int> pacer = PaTest::threadIdsNamed("OutputVideo", earlier);
    ASSERT_EQ(pacer.size(), 1);
    ASSERT_TRUE(suspendSink(*controlConnection, true));
    const double heldAt = monotonicSeconds();
    double timeAtHold = -1.0;
    ASSERT_TRUE(sink.withLast([&](const RDYUV420P &p) { timeAtHold = p.time(); }));

    // Counted from when the held audio has surely been played to well before
    // the output is given up on. The picture waiting is at most one picture
    // (40 ms) ahead of the clock: a thread that looked again whenever it
    // might be due would wake some twenty times here.
    std::this_thread::sleep_for(std::chrono::duration<double>(kDeviceBuffer + kSettle));
    const int shownBefore = sink.count();
    const long long wakeUps = PaTest::switchesOver(pacer, 800);
    const int shownWhileCounted = sink.count() - shownBefore;
    std::printf("picture thread woke %lld times in 0.8 s of held audio\n", wakeUps);

    // Well past the two seconds the player waits for a stuck output.
    const bool movedOn = sink.waitFor(
        [&](const RDYUV420P &p) { return p.time() >= timeAtHold + kDeviceBuffer + 0.4; },
        4.0 - (monotonicSeconds() - heldAt));
    ASSERT_TRUE(suspendSink(*controlConnection, false));
    EXPECT_EQ(shownWhileCounted, 0) << "the pictures did not wait for the held audio";
    EXPECT_GE(wakeUps, 0);
    EXPECT_LE(wakeUps, 3) << "the picture thread kept waking up while the audio was held";
    EXPECT_TRUE(movedOn) << "the pictures stayed with the stuck sound output";
    EXPECT_TRUE(log.waitFor(3, 15.0));
}

} // namespace
