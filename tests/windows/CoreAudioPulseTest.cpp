#include "CoreAudioDevice.h"
#include "CoreAudioDeviceObserver.h"
#include "CoreAudioRender.h"
#include "CoreAudioRenderObserver.h"
#include "LogCapture.h"
#include "PulseServerProcess.h"
#include "RDCoreAudio.h"
#include "Tone.h"

#include <cmath>
#include <condition_variable>
#include <gtest/gtest.h>
#include <mutex>

namespace {

// Plays a 1 kHz tone in whatever mix format the endpoint has.
class TonePlayer : public CoreAudioRenderObserver
{
public:
    void onRenderData(CoreAudioRender *render, unsigned char *buffer, int frames, int) override
    {
        const RDAudioFormat *f = render->format();
        for (int i = 0; i < frames; ++i) {
            const double v = 0.5 * std::sin(2.0 * M_PI * 1000.0 * double(m_frame++) / f->sampleRate);
            for (int c = 0; c < f->channels; ++c) {
                unsigned char *at = buffer + size_t(i) * f->blockAlign + size_t(c) * (f->bitsPerSample / 8);
                if (f->formatTag == RDAudioFormat::Float)
                    *reinterpret_cast<float *>(at) = float(v);
                else
                    *reinterpret_cast<int16_t *>(at) = int16_t(v * 32767.0);
            }
        }
    }
    void onRenderClosed(CoreAudioRender *) override { closed = true; }
    std::atomic<bool> closed{false};

private:
    long m_frame = 0;
};

// Keeps the first channel of what is captured, from the first sound on.
class ToneListener : public CoreAudioDeviceObserver
{
public:
    void onDeviceOpened(CoreAudioDevice *device) override { m_format = *device->format(); }
    void onDeviceClosed(CoreAudioDevice *) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        closed = true;
        m_changed.notify_all();
    }
    void onDeviceData(CoreAudioDevice *, unsigned char *data, int frames, int) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (int i = 0; i < frames; ++i) {
            const unsigned char *at = data + size_t(i) * m_format.blockAlign;
            const double v = m_format.formatTag == RDAudioFormat::Float
                                 ? *reinterpret_cast<const float *>(at) * 32768.0
                                 : double(*reinterpret_cast<const int16_t *>(at));
            if (samples.empty() && std::fabs(v) < 1.0)
                continue;
            samples.push_back(v);
        }
        m_changed.notify_all();
    }
    bool waitFor(const std::function<bool()> &done, int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
    }
    std::vector<double> copy()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        return samples;
    }
    std::vector<double> samples;
    bool closed = false;

private:
    RDAudioFormat m_format;
    std::mutex m_lock;
    std::condition_variable m_changed;
};

} // namespace

TEST(CoreAudioPulseTest, ToneRenderedOnANullSinkComesBackThroughItsLoopback)
{
    PulseServerProcess server("pa_test_sink", "TestSink");
    ASSERT_TRUE(server.start(10000)) << "PulseAudio is needed for this test and did not start: "
                                     << server.errorText().toStdString();

    // The sink is a render endpoint; its monitor is not offered as a capture one.
    const QVector<RDCoreDevice> devices = getAllDevices();
    EXPECT_TRUE(devices.contains(RDCoreDevice("pa_test_sink", "TestSink", RDCoreDevice::Render)));
    for (const RDCoreDevice &d : devices)
        EXPECT_FALSE(d.id().endsWith(".monitor")) << d.id().toStdString();

    TonePlayer player;
    CoreAudioRender render;
    render.setObserver(&player);
    ToneListener listener;
    CoreAudioDevice loopback;
    loopback.setDevice("pa_test_sink", 1);
    loopback.setObserver(&listener);
    loopback.start();
    render.start();

    const int rate = 48000;
    const size_t wanted = rate / 2;
    ASSERT_TRUE(listener.waitFor([&] { return listener.samples.size() >= wanted; }, 15000))
        << "captured " << listener.samples.size() << " samples of the tone";
    const std::vector<double> got = listener.copy();
    const std::vector<double> window(got.begin() + rate / 10, got.begin() + wanted);
    EXPECT_GT(Tone::goertzelShare(window, 1000.0, rate), 0.9);
    EXPECT_NEAR(Tone::frequency(window, rate), 1000.0, 5.0);

    // The server goes away under both streams: each thread ends with a log
    // line and its closing call, and the stops return.
    LogCapture log;
    server.kill();
    EXPECT_TRUE(listener.waitFor([&] { return listener.closed; }, 10000));
    EXPECT_TRUE(log.waitFor("capture device pa_test_sink lost", 5000));
    EXPECT_TRUE(log.waitFor("playback device lost", 5000));
    loopback.stop();
    render.stop();
    EXPECT_TRUE(player.closed);
}
