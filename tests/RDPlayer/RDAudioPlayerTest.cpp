// Test play of a file or stream URL on the default playback endpoint (the
// in-process sound server of the tests).
#include "FakeAudioBackend.h"
#include "LoopbackStreamServer.h"
#include "PlayerTestMedia.h"
#include "RDAudioPlayer.h"
#include "RDAudioPlayerObserver.h"
#include "RDThread.h"
#include "Tone.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>

#include <algorithm>
#include <condition_variable>
#include <mutex>
#include <string>
#include <vector>

namespace {

class AudioPlayerEvents : public RDAudioPlayerObserver
{
public:
    void onOpenSuccess(RDAudioPlayer *, const QString &) override { add("opened"); }
    void onOpenFailure(RDAudioPlayer *) override { add("failed"); }
    void onPlayEnded(RDAudioPlayer *) override { add("ended"); }

    bool waitFor(const std::string &event, double seconds)
    {
        std::unique_lock<std::mutex> guard(m_mutex);
        return m_changed.wait_for(guard, std::chrono::duration<double>(seconds), [&] {
            return std::find(m_events.begin(), m_events.end(), event) != m_events.end();
        });
    }
    std::vector<std::string> events()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_events;
    }

private:
    void add(const char *event)
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_events.push_back(event);
        m_changed.notify_all();
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_events;
};

class AudioPlayerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(PlayerTestMedia::instance().isReady()) << PlayerTestMedia::instance().error().toStdString();
        backend.addEndpoint("spk", "Speakers", 1);
        player.setObserver(&events);
    }
    void TearDown() override { player.stop(); }

    static QString media(const char *name) { return PlayerTestMedia::instance().path(name); }

    FakeAudioBackend backend;
    AudioPlayerEvents events;
    RDAudioPlayer player;
};

// A short local file is read long before the endpoint has opened; all of
// its tone still reaches the endpoint.
TEST_F(AudioPlayerTest, LocalFilePlaysWholeOnTheEndpoint)
{
    player.setUrl(media("sine.mp3"));
    player.start();
    ASSERT_TRUE(events.waitFor("ended", 10.0));
    EXPECT_EQ(events.events(), (std::vector<std::string>{"opened", "ended"}));
    EXPECT_TRUE(player.isRunning());
    player.stop();
    EXPECT_FALSE(player.isRunning());

    const std::vector<float> played = backend.played();
    std::vector<double> left;
    for (size_t i = 0; i < played.size(); i += 2)
        left.push_back(played[i] * 32768.0);
    // One second at 48 kHz, less the transcoder's last part-filled frame
    // and the FIFO's last part-filled period.
    const size_t heard = size_t(std::count_if(left.begin(), left.end(), [](double v) { return v != 0.0; }));
    EXPECT_GE(heard, size_t(48000 - 2 * 960));
    // The second half: by then the file has long been read, so no period
    // can have found the FIFO short.
    const std::vector<double> tail(left.end() - std::min<size_t>(left.size(), 24000), left.end());
    EXPECT_NEAR(Tone::frequency(tail, 48000), 440.0, 2.0);
    EXPECT_GT(Tone::rmsDb(left), -30.0);
}

TEST_F(AudioPlayerTest, InputsWithoutAudioFailToOpen)
{
    for (const char *name : {"noaudio.mp4", "zero.mp4", "missing.mp3"}) {
        AudioPlayerEvents local;
        RDAudioPlayer failing;
        failing.setObserver(&local);
        failing.setUrl(media(name));
        failing.start();
        ASSERT_TRUE(local.waitFor("failed", 10.0)) << name;
        failing.stop();
        EXPECT_EQ(local.events(), std::vector<std::string>{"failed"}) << name;
        EXPECT_EQ(backend.openStreams(), 0);
    }
}

TEST_F(AudioPlayerTest, StopWhileOpeningIsPromptAndReportsFailure)
{
    LoopbackStreamServer silent(QByteArray(), 0, true);
    player.setUrl(QString::fromUtf8(silent.url()));
    player.start();
    RDThread::msleep(300);
    QElapsedTimer clock;
    clock.start();
    player.stop();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(events.events(), std::vector<std::string>{"failed"});
}

TEST_F(AudioPlayerTest, StopWhilePlayingAStalledStreamEndsOnce)
{
    QFile file(media("long.mp3"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray body = file.readAll();
    LoopbackStreamServer stalled(body, body.size() / 2);
    player.setUrl(QString::fromUtf8(stalled.url()));
    player.start();
    ASSERT_TRUE(events.waitFor("opened", 10.0));
    ASSERT_TRUE(backend.waitPlayedFrames(4800, 5000));
    QElapsedTimer clock;
    clock.start();
    player.stop();
    EXPECT_LT(clock.elapsed(), 1000);
    EXPECT_EQ(events.events(), (std::vector<std::string>{"opened", "ended"}));
    EXPECT_EQ(backend.openStreams(), 0);
}

TEST_F(AudioPlayerTest, SecondStartWithoutStopKeepsOneThread)
{
    backend.setRealTime(false);
    player.setUrl(media("sine.mp3"));
    player.start();
    player.start();
    ASSERT_TRUE(events.waitFor("ended", 10.0));
    player.stop();
    EXPECT_EQ(events.events(), (std::vector<std::string>{"opened", "ended"}));
}

// Without a playback endpoint the input still opens and runs to its end.
TEST(AudioPlayerNoEndpointTest, PlaysOutSilently)
{
    ASSERT_TRUE(PlayerTestMedia::instance().isReady());
    FakeAudioBackend backend;
    AudioPlayerEvents events;
    RDAudioPlayer player;
    player.setObserver(&events);
    player.setUrl(PlayerTestMedia::instance().path("sine.mp3"));
    player.start();
    ASSERT_TRUE(events.waitFor("ended", 10.0));
    player.stop();
    EXPECT_EQ(events.events(), (std::vector<std::string>{"opened", "ended"}));
}

TEST(AudioPlayerUrlTest, SpacesAreEscapedInNetworkUrlsOnly)
{
    EXPECT_EQ(RDAudioPlayer::openName("http://radio.example/live stream.mp3"),
              QByteArray("http://radio.example/live%20stream.mp3"));
    EXPECT_EQ(RDAudioPlayer::openName("/music/two words.mp3"), QByteArray("/music/two words.mp3"));
    EXPECT_EQ(RDAudioPlayer::openName("file:/music/two words.mp3"), QByteArray("file:/music/two words.mp3"));
}

TEST_F(AudioPlayerTest, LocalFileNamedWithSpacesOpens)
{
    const QString spaced = media("sine.mp3").replace("sine.mp3", "two words.mp3");
    QFile::remove(spaced);
    ASSERT_TRUE(QFile::copy(media("sine.mp3"), spaced));
    backend.setRealTime(false);
    player.setUrl(spaced);
    player.start();
    ASSERT_TRUE(events.waitFor("ended", 10.0));
    EXPECT_EQ(events.events().front(), "opened");
}

} // namespace
