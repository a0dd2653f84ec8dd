#include "RateConverter.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace {

std::vector<int16_t> tone(int rate, double hz, int amplitude, int samples)
{
    std::vector<int16_t> out(samples);
    for (int i = 0; i < samples; ++i) {
        out[i] = static_cast<int16_t>(std::lrint(amplitude * std::sin(2 * 3.14159265358979 * hz * i / rate)));
    }
    return out;
}

// Peak amplitude of the `hz` component (Goertzel), skipping the filter's
// start-up.
double level(const std::vector<int16_t> &pcm, int rate, double hz)
{
    const size_t first = 200;
    const double coeff = 2 * std::cos(2 * 3.14159265358979 * hz / rate);
    double s1 = 0, s2 = 0;
    for (size_t i = first; i < pcm.size(); ++i) {
        const double s0 = pcm[i] + coeff * s1 - s2;
        s2 = s1;
        s1 = s0;
    }
    return 2 * std::sqrt(std::max(0.0, s1 * s1 + s2 * s2 - coeff * s1 * s2)) / (pcm.size() - first);
}

// A tone in the pass band keeps its level and arrives at the new rate; a
// tone the lower rate cannot carry neither folds back (decimation) nor do
// the images of the zero-stuffing survive (interpolation).
TEST(RateConverter, PassesTheBandAndKeepsAliasesAndImagesOut)
{
    const struct
    {
        int in, out;
        double pass;      // Hz, kept
        double stop;      // Hz fed in, must not reach the output
        double alias;     // Hz where a fault would show it
    } cases[] = {
        {16000, 8000, 1000, 6000, 2000},   // 6 kHz folds to 2 kHz at 8 kHz
        {48000, 16000, 1000, 13000, 3000}, // 13 kHz folds to 3 kHz at 16 kHz
        {8000, 16000, 1000, 0, 7000},      // image of 1 kHz at 7 kHz
        {16000, 48000, 1000, 0, 15000},    // image of 1 kHz at 15 kHz
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(std::to_string(c.in) + " -> " + std::to_string(c.out));
        RateConverter converter(c.in, c.out);
        std::vector<int16_t> input = tone(c.in, c.pass, 8000, c.in / 2);
        if (c.stop > 0) {
            const std::vector<int16_t> high = tone(c.in, c.stop, 8000, c.in / 2);
            for (size_t i = 0; i < input.size(); ++i) {
                input[i] = static_cast<int16_t>(input[i] / 2 + high[i] / 2);
            }
        }
        // Fed in 20 ms pieces, as the mix does: state carries across calls.
        std::vector<int16_t> out;
        const int piece = c.in / 50;
        for (size_t at = 0; at < input.size(); at += piece) {
            converter.convert(input.data() + at, piece, &out);
        }
        ASSERT_EQ(out.size(), input.size() * c.out / c.in);
        const double expected = c.stop > 0 ? 4000 : 8000;
        EXPECT_NEAR(level(out, c.out, c.pass), expected, expected * 0.03);
        EXPECT_LT(level(out, c.out, c.alias), expected * 0.03);
    }
}

} // namespace
