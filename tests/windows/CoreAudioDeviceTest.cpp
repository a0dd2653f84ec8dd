#include "CoreAudioDevice.h"
#include "CoreAudioDeviceObserver.h"
#include "FakeAudioBackend.h"
#include "LogCapture.h"
#include "Tone.h"

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// Records what a capture device reports, and on which threads.
class RecordingObserver : public CoreAudioDeviceObserver
{
public:
    void onDeviceOpened(CoreAudioDevice *device) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        events.push_back("opened");
        format = *device->format();
        openThread = std::this_thread::get_id();
        m_changed.notify_all();
    }
    void onDeviceClosed(CoreAudioDevice *) override
    {
        std::lock_guard<std::mutex> lock(m_lock);
        events.push_back("closed");
        m_changed.notify_all();
    }
    void onDeviceData(CoreAudioDevice *, unsigned char *data, int frames, int bytes) override
    {
        std::unique_lock<std::mutex> lock(m_lock);
        if (events.empty() || events.back() != "data")
            events.push_back("data");
        ++packets;
        dataThread = std::this_thread::get_id();
        if (frames * format.blockAlign != bytes)
            badSizes = true;
        const float *f = reinterpret_cast<const float *>(data);
        samples.insert(samples.end(), f, f + bytes / 4);
        m_changed.notify_all();
        if (holdDelivery)
            m_changed.wait(lock, [&] { return releaseDelivery; });
    }

    bool waitFor(const std::function<bool()> &done, int timeoutMs)
    {
        std::unique_lock<std::mutex> lock(m_lock);
        return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), done);
    }
    void release()
    {
        std::lock_guard<std::mutex> lock(m_lock);
        releaseDelivery = true;
        m_changed.notify_all();
    }

    std::vector<std::string> events;
    RDAudioFormat format;
    std::vector<float> samples;
    int packets = 0;
    bool badSizes = false;
    bool holdDelivery = false;
    bool releaseDelivery = false;
    std::thread::id openThread;
    std::thread::id dataThread;

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
};

std::vector<double> firstChannel(const std::vector<float> &interleaved, int channels)
{
    std::vector<double> x;
    for (size_t i = 0; i < interleaved.size(); i += size_t(channels))
        x.push_back(interleaved[i] * 32768.0);
    return x;
}

} // namespace

TEST(CoreAudioDeviceTest, CapturesTheEndpointInItsMixFormatOffTheCaptureThread)
{
    FakeAudioBackend backend;
    backend.addEndpoint("mic.usb", "USB Microphone", 0, 1000.0, 0.5);
    RecordingObserver observer;
    CoreAudioDevice device;
    device.setDevice("mic.usb", 0);
    device.setObserver(&observer);
    ASSERT_TRUE(device.start());

    const size_t wanted = 48000 / 4 * 2; // 250 ms of stereo
    ASSERT_TRUE(observer.waitFor([&] { return observer.samples.size() >= wanted; }, 5000))
        << "only " << observer.samples.size() << " samples captured";
    device.stop();

    EXPECT_EQ(observer.format.sampleRate, 48000);
    EXPECT_EQ(observer.format.channels, 2);
    EXPECT_EQ(observer.format.bitsPerSample, 32);
    EXPECT_EQ(observer.format.blockAlign, 8);
    EXPECT_EQ(observer.format.formatTag, RDAudioFormat::Float);
    EXPECT_EQ(device.bufferFrames(), 4800);
    EXPECT_EQ(backend.lastCaptureBufferMs(), 100);
    EXPECT_FALSE(observer.badSizes);
    EXPECT_NE(observer.dataThread, observer.openThread);
    EXPECT_EQ(observer.events, (std::vector<std::string>{"opened", "data", "closed"}));
    // Every sample as delivered, in order: a pure, unbroken tone.
    const std::vector<double> x = firstChannel(observer.samples, 2);
    EXPECT_GT(Tone::goertzelShare(x, 1000.0, 48000), 0.99);
    EXPECT_NEAR(Tone::frequency(x, 48000), 1000.0, 1.0);
    EXPECT_EQ(backend.openStreams(), 0);
}

TEST(CoreAudioDeviceTest, EndpointThatCannotOpenReportsOnlyClosed)
{
    struct Case {
        const char *name;
        const char *id;
        int loopback;
        bool serverDown;
        const char *logLine;
    } cases[] = {
        {"unknown id", "mic.gone", 0, false, "GetDevice failure"},
        {"no id", nullptr, 0, false, "GetDevice failure"},
        {"loopback of a capture endpoint", "mic.usb", 1, false, "GetDevice failure"},
        {"no sound server", "mic.usb", 0, true, "CoCreateInstance failure"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        FakeAudioBackend backend;
        backend.addEndpoint("mic.usb", "USB Microphone", 0);
        backend.setUnavailable(c.serverDown);
        LogCapture log;
        RecordingObserver observer;
        CoreAudioDevice device;
        device.setDevice(c.id, c.loopback);
        device.setObserver(&observer);
        device.start();
        ASSERT_TRUE(observer.waitFor([&] { return !observer.events.empty(); }, 5000));
        device.stop();
        EXPECT_EQ(observer.events, std::vector<std::string>{"closed"});
        EXPECT_TRUE(log.contains(c.logLine));
        device.clearDevice();
    }
}

TEST(CoreAudioDeviceTest, LoopbackCapturesWhatTheRenderEndpointPlaysWithATwoSecondBuffer)
{
    FakeAudioBackend backend;
    backend.addEndpoint("spk.front", "Front Speakers", 1);
    RecordingObserver observer;
    CoreAudioDevice device;
    device.setDevice("spk.front", 1);
    device.setObserver(&observer);
    device.start();
    ASSERT_TRUE(observer.waitFor([&] { return !observer.events.empty(); }, 5000));
    EXPECT_EQ(backend.lastCaptureBufferMs(), 2000);
    EXPECT_EQ(device.bufferFrames(), 96000);
    device.stop();
    EXPECT_EQ(observer.events, (std::vector<std::string>{"opened", "closed"}));
}

TEST(CoreAudioDeviceTest, StopFreesQueuedPacketsWithoutDeliveringThem)
{
    FakeAudioBackend backend;
    backend.addEndpoint("mic.usb", "USB Microphone", 0);
    backend.setRealTime(false);
    backend.setCaptureLimit(48000); // 100 packets of 10 ms, at once
    RecordingObserver observer;
    observer.holdDelivery = true;
    CoreAudioDevice device;
    device.setDevice("mic.usb", 0);
    device.setObserver(&observer);
    device.start();
    // The observer holds the first packet while the capture queues the rest.
    ASSERT_TRUE(observer.waitFor([&] { return observer.packets == 1; }, 5000));
    std::thread stopper([&] { device.stop(); });
    // Let the held packet go once the stop has begun (the capture is
    // interrupted after delivery was told to end); the others stay queued
    // and must be dropped, not delivered.
    const bool interrupted = backend.waitInterrupted(5000);
    observer.release();
    stopper.join();
    ASSERT_TRUE(interrupted);
    EXPECT_EQ(observer.packets, 1);
    EXPECT_EQ(observer.events.back(), "closed");
    EXPECT_EQ(backend.openStreams(), 0);
}

TEST(CoreAudioDeviceTest, DeviceThatDisappearsEndsTheReadingWithALogLine)
{
    FakeAudioBackend backend;
    backend.addEndpoint("mic.usb", "USB Microphone", 0);
    LogCapture log;
    RecordingObserver observer;
    CoreAudioDevice device;
    device.setDevice("mic.usb", 0);
    device.setObserver(&observer);
    device.start();
    ASSERT_TRUE(observer.waitFor([&] { return observer.packets >= 3; }, 5000));
    backend.removeEndpoint("mic.usb");
    ASSERT_TRUE(observer.waitFor([&] { return observer.events.back() == "closed"; }, 5000));
    EXPECT_TRUE(log.contains("capture device mic.usb lost"));
    device.stop();
    EXPECT_EQ(backend.openStreams(), 0);
}
