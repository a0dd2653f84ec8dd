#include "FakeAudioBackend.h"
#include "RDCoreDevice.h"
#include "Velmar.h"
#include "VelmarFixture.h"

#include <gtest/gtest.h>

namespace {
class VelmarAudioDevicesTest : public VelmarFixture
{
};
} // namespace

TEST_F(VelmarAudioDevicesTest, ListsTheSoundServersEndpointsCaptureFirst)
{
    FakeAudioBackend backend;
    backend.addEndpoint("alsa_output.hdmi", "HDMI Audio", 1);
    backend.addEndpoint("alsa_input.usb", "USB Microphone", 0);
    EXPECT_EQ(m_velmar->getAudioDevices(),
              (QVector<RDCoreDevice>{RDCoreDevice("alsa_input.usb", "USB Microphone", RDCoreDevice::Capture),
                                     RDCoreDevice("alsa_output.hdmi", "HDMI Audio", RDCoreDevice::Render)}));
    backend.setUnavailable(true);
    EXPECT_TRUE(m_velmar->getAudioDevices().isEmpty());
}
