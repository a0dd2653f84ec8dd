#include "FakeAudioBackend.h"
#include "LogCapture.h"
#include "RDCoreAudio.h"

#include <gtest/gtest.h>

TEST(RDCoreAudioTest, ListsCaptureFirstAndLeavesOutUnnamedEndpoints)
{
    FakeAudioBackend backend;
    backend.addEndpoint("spk.front", "Front Speakers", 1);
    backend.addEndpoint("mic.usb", "USB Microphone", 0);
    backend.addEndpoint("spk.hdmi", "HDMI Output", 1);
    backend.addEndpoint("mic.noname", "", 0);

    const QVector<RDCoreDevice> all = getAllDevices();
    const QVector<RDCoreDevice> expected{RDCoreDevice("mic.usb", "USB Microphone", RDCoreDevice::Capture),
                                         RDCoreDevice("spk.front", "Front Speakers", RDCoreDevice::Render),
                                         RDCoreDevice("spk.hdmi", "HDMI Output", RDCoreDevice::Render)};
    EXPECT_EQ(all, expected);
    EXPECT_EQ(getInputDevices(), QVector<RDCoreDevice>{expected[0]});
    EXPECT_EQ(getDevices(eRender, DEVICE_STATE_ACTIVE), (QVector<RDCoreDevice>{expected[1], expected[2]}));
    // Only present endpoints exist here: asking for others finds none.
    EXPECT_TRUE(getDevices(eRender, 0x2).isEmpty());
}

TEST(RDCoreAudioTest, NoSoundServerGivesEmptyListsAndALogLine)
{
    FakeAudioBackend backend;
    backend.addEndpoint("mic.usb", "USB Microphone", 0);
    backend.setUnavailable(true);
    LogCapture log;
    EXPECT_TRUE(getAllDevices().isEmpty());
    EXPECT_TRUE(log.contains("EnumAudioEndpoints failure"));
}
