#include "RDCoreDevice.h"

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
