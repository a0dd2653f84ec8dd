#include "RDAudioResampler.h"
#include "Tone.h"

#include <cstring>
#include <gtest/gtest.h>

extern "C" {
#include <libavutil/samplefmt.h>
}

namespace {
constexpr uint64_t kMono = 0x4;
constexpr uint64_t kStereo = 0x3;
} // namespace

TEST(RDAudioResamplerTest, EqualFormatsCopyBytesInWholeBlocks)
{
    RDAudioResampler r;
    ASSERT_TRUE(r.open(8000, kMono, 1, AV_SAMPLE_FMT_S16, 8000, kMono, 1, AV_SAMPLE_FMT_S16));
    EXPECT_TRUE(r.isCopyMode());
    char in[300];
    for (int i = 0; i < 300; ++i)
        in[i] = char(i * 7);
    EXPECT_EQ(r.write(in, 300), 300);

    char out[256];
    std::memset(out, 0, sizeof out);
    EXPECT_EQ(r.read(out, 256), 256);
    EXPECT_EQ(std::memcmp(out, in, 256), 0);
    // 44 bytes left: a block of 100 is not handed out, and asking does not
    // take anything away.
    EXPECT_EQ(r.read(out, 100), 0);
    EXPECT_EQ(r.available(), 44);
    EXPECT_EQ(r.read(out, 44), 44);
    EXPECT_EQ(std::memcmp(out, in + 256, 44), 0);
}

TEST(RDAudioResamplerTest, NarrowbandToWideStereoFloatIsSteadyAndContinuous)
{
    // 8 kHz mono 16-bit in 20 ms writes -> 48 kHz stereo float: 7680 bytes
    // per write on average, and a tone that stays whole across the writes.
    RDAudioResampler r;
    ASSERT_TRUE(r.open(8000, kMono, 1, AV_SAMPLE_FMT_S16, 48000, kStereo, 2, AV_SAMPLE_FMT_FLT));
    EXPECT_FALSE(r.isCopyMode());

    const int writes = 50;
    const std::vector<int16_t> tone = Tone::sine(600.0, 8000, 1, 160 * writes);
    std::vector<float> out;
    std::vector<float> block(960 * 2);
    long written = 0;
    for (int i = 0; i < writes; ++i) {
        ASSERT_EQ(r.write(tone.data() + i * 160, 320), 320);
        written += 320;
        while (r.read(block.data(), int(block.size() * sizeof(float))) > 0)
            out.insert(out.end(), block.begin(), block.end());
    }
    const long produced = long(out.size() * sizeof(float)) + r.available();
    // Only the filter's delay may be held back, well under one block.
    EXPECT_LE(produced, written / 320 * 7680);
    EXPECT_GT(produced, written / 320 * 7680 - 7680);

    std::vector<double> left;
    for (size_t i = 0; i < out.size(); i += 2) {
        left.push_back(out[i] * 32768.0);
        ASSERT_FLOAT_EQ(out[i], out[i + 1]);
    }
    const std::vector<double> steady(left.begin() + 960, left.end());
    EXPECT_NEAR(Tone::frequency(steady, 48000), 600.0, 1.0);
    // A gap or a padded tail at each write would spread energy away from
    // the tone.
    EXPECT_GT(Tone::goertzelShare(steady, 600.0, 48000), 0.99);
}

TEST(RDAudioResamplerTest, RingKeepsOnlyTheNewestHundredMilliseconds)
{
    RDAudioResampler r;
    ASSERT_TRUE(r.open(8000, kMono, 1, AV_SAMPLE_FMT_S16, 48000, kStereo, 2, AV_SAMPLE_FMT_FLT));
    const std::vector<int16_t> tone = Tone::sine(600.0, 8000, 1, 8000);
    for (int i = 0; i < 50; ++i)
        ASSERT_EQ(r.write(tone.data() + i * 160, 320), 320);
    EXPECT_EQ(r.available(), 38400);
    std::vector<char> big(38401);
    EXPECT_EQ(r.read(big.data(), 38401), 0);
    EXPECT_EQ(r.available(), 38400);
    EXPECT_EQ(r.read(big.data(), 38400), 38400);
    EXPECT_EQ(r.available(), 0);
}

TEST(RDAudioResamplerTest, RefusalsAndShortWrites)
{
    RDAudioResampler closed;
    char buf[64] = {};
    EXPECT_EQ(closed.write(buf, 64), 0);
    EXPECT_EQ(closed.read(buf, 64), 0);

    RDAudioResampler r;
    EXPECT_FALSE(r.open(0, kMono, 1, AV_SAMPLE_FMT_S16, 48000, kStereo, 2, AV_SAMPLE_FMT_FLT));
    EXPECT_FALSE(r.open(8000, kMono, 1, AV_SAMPLE_FMT_NONE, 48000, kStereo, 2, AV_SAMPLE_FMT_FLT));
    // One interleaved buffer cannot carry a planar stereo destination.
    EXPECT_FALSE(r.open(8000, kMono, 1, AV_SAMPLE_FMT_S16, 48000, kStereo, 2, AV_SAMPLE_FMT_FLTP));

    ASSERT_TRUE(r.open(48000, kStereo, 2, AV_SAMPLE_FMT_S16, 8000, kMono, 1, AV_SAMPLE_FMT_S16));
    // Less than one sample frame (4 bytes) of input: nothing to convert.
    EXPECT_EQ(r.write(buf, 3), -1);
    EXPECT_EQ(r.write(buf, 64), 64);
    r.close();
    EXPECT_EQ(r.write(buf, 64), 0);
    r.close();
}
