#include "CoreAudioDevice.h"
#include "CoreAudioDeviceObserver.h"
#include "CoreAudioRender.h"
#include "CoreAudioRenderObserver.h"
#include "FakeAudioBackend.h"

#include <future>
#include <gtest/gtest.h>

namespace {
struct SilentCapture : CoreAudioDeviceObserver {
    std::promise<void> opened;
    void onDeviceOpened(CoreAudioDevice *) override { opened.set_value(); }
};
struct SilentRender : CoreAudioRenderObserver {
    std::promise<void> started;
    void onRenderStarted(CoreAudioRender *) override { started.set_value(); }
};

// Runs `stop` on a thread of its own and reports whether it returned in
// time; when it did not, the endpoint is removed so the thread can end.
bool stopsInTime(FakeAudioBackend &backend, const std::string &endpoint, const std::function<void()> &stop)
{
    std::future<void> done = std::async(std::launch::async, stop);
    const bool inTime = done.wait_for(std::chrono::seconds(3)) == std::future_status::ready;
    if (!inTime)
        backend.removeEndpoint(endpoint);
    done.wait();
    return inTime;
}
} // namespace

TEST(CoreAudioStopTest, StopEndsReadsAndWritesThatWaitForTheEndpoint)
{
    // A stalled endpoint (a suspended source, a sink that takes nothing)
    // leaves the threads waiting inside the platform; stop must end that
    // wait rather than wait for the endpoint.
    FakeAudioBackend backend;
    backend.addEndpoint("mic.usb", "USB Microphone", 0);
    backend.addEndpoint("spk.front", "Front Speakers", 1);
    backend.setStalled(true);

    SilentCapture captureObserver;
    CoreAudioDevice device;
    device.setDevice("mic.usb", 0);
    device.setObserver(&captureObserver);
    device.start();
    ASSERT_EQ(captureObserver.opened.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(stopsInTime(backend, "mic.usb", [&] { device.stop(); }));

    SilentRender renderObserver;
    CoreAudioRender render;
    render.setObserver(&renderObserver);
    render.start();
    ASSERT_EQ(renderObserver.started.get_future().wait_for(std::chrono::seconds(5)), std::future_status::ready);
    EXPECT_TRUE(stopsInTime(backend, "spk.front", [&] { render.stop(); }));
    EXPECT_EQ(backend.openStreams(), 0);
}
