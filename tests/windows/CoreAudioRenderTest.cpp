#include "CoreAudioRender.h"
#include "CoreAudioRenderObserver.h"
#include "FakeAudioBackend.h"
#include "LogCapture.h"
#include "Tone.h"

#include <atomic>
#include <cmath>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>
#include <vector>

namespace {

// Writes a tone into the first `tonePeriods` periods, then leaves every
// period as handed over.
class ToneRenderer : public CoreAudioRenderObserver
{
public:
    explicit ToneRenderer(int tonePeriods) : m_tonePeriods(tonePeriods) {}

    void onRenderStarted(CoreAudioRender *render) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        events.push_back("started");
        format = *render->format();
        m_changed.notify_all();
    }
    void onRenderClosed(CoreAudioRender *) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        events.push_back("closed");
        m_changed.notify_all();
    }
    void onRenderData(CoreAudioRender *, unsigned char *buffer, int frames, int bytes) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (events.back() != "data")
            events.push_back("data");
        periodFrames.push_back(frames);
        periodBytes.push_back(bytes);
        if (int(periodFrames.size()) <= m_tonePeriods) {
            float *out = reinterpret_cast<float *>(buffer);
            for (int i = 0; i < frames; ++i) {
                const float v = float(0.5 * std::sin(2.0 * M_PI * 1000.0 * double(m_frame++) / 48000.0));
                out[2 * i] = v;
                out[2 * i + 1] = v;
            }
        }
    }

    bool waitFor(const std::function<bool()> &done, int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
    }

    std::vector<std::string> events;
    RDAudioFormat format;
    std::vector<int> periodFrames;
    std::vector<int> periodBytes;

private:
    int m_tonePeriods;
    long m_frame = 0;
    std::mutex m_lock;
    std::condition_variable m_changed;
};

} // namespace

TEST(CoreAudioRenderTest, FillsTenthOfTheBufferPerPeriodAndUnfilledPeriodsPlaySilence)
{
    FakeAudioBackend backend;
    backend.addEndpoint("spk.front", "Front Speakers", 1);
    ToneRenderer renderer(5);
    CoreAudioRender render;
    render.setObserver(&renderer);
    render.start();
    // 15 periods of 20 ms: the first ten fill the 200 ms buffer at once.
    ASSERT_TRUE(backend.waitPlayedFrames(15 * 960, 5000));
    render.stop();

    EXPECT_EQ(renderer.format.sampleRate, 48000);
    EXPECT_EQ(renderer.format.blockAlign, 8);
    ASSERT_GE(renderer.periodFrames.size(), 15u);
    for (size_t i = 0; i < renderer.periodFrames.size(); ++i) {
        EXPECT_EQ(renderer.periodFrames[i], 960);
        EXPECT_EQ(renderer.periodBytes[i], 7680);
    }
    for (int bytes : backend.writeSizes())
        EXPECT_EQ(bytes, 7680);
    EXPECT_EQ(renderer.events, (std::vector<std::string>{"started", "data", "closed"}));

    const std::vector<float> played = backend.played();
    std::vector<double> tone;
    for (size_t i = 0; i < 5 * 960 * 2; i += 2)
        tone.push_back(played[i] * 32768.0);
    EXPECT_GT(Tone::goertzelShare(tone, 1000.0, 48000), 0.99);
    // After the observer stops writing, the periods are exact silence, not
    // the tone the buffer held before.
    size_t loud = 0;
    for (size_t i = 5 * 960 * 2; i < played.size(); ++i)
        loud += played[i] != 0.0f;
    EXPECT_EQ(loud, 0u);
    EXPECT_EQ(backend.openStreams(), 0);
}

TEST(CoreAudioRenderTest, MissingOrVanishingEndpointEndsWithClosed)
{
    {
        FakeAudioBackend backend;
        LogCapture log;
        ToneRenderer renderer(0);
        CoreAudioRender render;
        render.setObserver(&renderer);
        render.start();
        ASSERT_TRUE(renderer.waitFor([&] { return !renderer.events.empty(); }, 5000));
        render.stop();
        EXPECT_EQ(renderer.events, std::vector<std::string>{"closed"});
        EXPECT_TRUE(log.contains("GetDefaultAudioEndpoint failure"));
    }
    {
        FakeAudioBackend backend;
        backend.addEndpoint("spk.usb", "USB Speakers", 1);
        LogCapture log;
        ToneRenderer renderer(0);
        CoreAudioRender render;
        render.setObserver(&renderer);
        render.start();
        ASSERT_TRUE(backend.waitPlayedFrames(12 * 960, 5000));
        backend.removeEndpoint("spk.usb");
        ASSERT_TRUE(renderer.waitFor([&] { return renderer.events.back() == "closed"; }, 5000));
        EXPECT_TRUE(log.contains("playback device lost"));
        render.stop();
        EXPECT_EQ(backend.openStreams(), 0);
    }
}

