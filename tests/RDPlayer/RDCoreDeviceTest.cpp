#include "RDCoreDevice.h"

#include <algorithm>
#include <gtest/gtest.h>

TEST(RDCoreDeviceTest, DefaultMeansNoDeviceAndValuesCopy)
{
    const RDCoreDevice none;
    EXPECT_TRUE(none.isNull());
    EXPECT_EQ(none.id(), "");
    EXPECT_EQ(none.name(), "");
    EXPECT_EQ(none.type(), RDCoreDevice::Capture);

    QVector<RDCoreDevice> list{RDCoreDevice("hw:1,0", "USB Mic", RDCoreDevice::Capture)};
    QVector<RDCoreDevice> copy = list;
    copy[0] = RDCoreDevice("hw:0,0", "Speakers", RDCoreDevice::Render);
    EXPECT_EQ(list[0].name(), "USB Mic");
    EXPECT_NE(list[0], copy[0]);
    EXPECT_EQ(copy[0].type(), RDCoreDevice::Render);
}

TEST(RDCoreDeviceTest, ListsCaptureBeforeRenderWithoutDuplicates)
{
    // The build machines have no sound card: the list may well be empty, but
    // whatever it holds must be ordered and named.
    const QVector<RDCoreDevice> devices = getAllDevices();
    bool renderSeen = false;
    for (const RDCoreDevice &d : devices) {
        EXPECT_FALSE(d.isNull());
        if (d.type() == RDCoreDevice::Render)
            renderSeen = true;
        else
            EXPECT_FALSE(renderSeen) << "capture endpoint " << d.id().toStdString() << " after a render one";
        EXPECT_EQ(std::count(devices.begin(), devices.end(), d), 1);
    }
}
