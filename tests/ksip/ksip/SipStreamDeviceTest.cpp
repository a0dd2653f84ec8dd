// The media end's shared pieces: the volume rule, the frame queue and the
// order in which a device is shut.
#include "SipFrameQueue.h"
#include "SipStreamDevice.h"
#include "SipStreamFrame.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(SipStreamDevice, VolumeScalesTruncatesAndClamps)
{
    struct Case
    {
        int volume;
        std::vector<int16_t> in;
        std::vector<int16_t> out;
    };
    const Case cases[] = {
        {100, {-32768, -3, 0, 3, 32767}, {-32768, -3, 0, 3, 32767}},
        {0, {-32768, -3, 3, 32767}, {0, 0, 0, 0}},
        {50, {-3, 3, -32768, 32767}, {-1, 1, -16384, 16383}},
        {200, {-20000, 20000, -7, 7}, {-32768, 32767, -14, 14}},
        {33, {100, -100, 1}, {33, -33, 0}},
    };
    for (const Case &c : cases) {
        std::vector<int16_t> pcm = c.in;
        SipStreamDevice::applyVolume(pcm.data(), int(pcm.size()), c.volume);
        EXPECT_EQ(pcm, c.out) << "volume " << c.volume;
    }
}

TEST(SipStreamDevice, StopClosesInOrder)
{
    class Recorder : public SipStreamDevice
    {
    public:
        void closeAudioSource() override { order += "as "; }
        void closeAudioSink() override { order += "ak "; }
        void closeVideoSource() override { order += "vs "; }
        void closeVideoSink() override { order += "vk "; }
        std::string order;
    } device;
    EXPECT_EQ(device.volume(), 100);
    device.setVolume(40);
    EXPECT_EQ(device.volume(), 40);
    device.stop();
    EXPECT_EQ(device.order, "as ak vs vk ");
}

TEST(SipFrameQueue, FirstInFirstOutAndClear)
{
    SipFrameQueue q;
    EXPECT_EQ(q.pop(), nullptr);
    const uint8_t a[2] = {1, 2};
    q.push(new SipStreamFrame(a, 2, 0.02));
    q.push(SipStreamFrame::adopt(new uint8_t[3]{7, 8, 9}, 3, 0.04, true));
    q.push(nullptr);
    EXPECT_EQ(q.count(), 2);
    SipStreamFrame *first = q.pop();
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->size(), 2);
    EXPECT_EQ(first->data()[1], 2);
    EXPECT_NE(first->data(), a); // a copy
    EXPECT_FALSE(first->isEncoded());
    delete first;
    SipStreamFrame *second = q.pop();
    EXPECT_EQ(second->data()[2], 9);
    EXPECT_DOUBLE_EQ(second->duration(), 0.04);
    EXPECT_TRUE(second->isEncoded());
    delete second;
    // Frames still queued are deleted by clear (the leak check sees it).
    q.push(new SipStreamFrame(a, 2, 0.02));
    q.push(new SipStreamFrame(nullptr, 4, 0.02));
    q.clear();
    EXPECT_EQ(q.count(), 0);
    EXPECT_EQ(q.pop(), nullptr);
}

} // namespace
