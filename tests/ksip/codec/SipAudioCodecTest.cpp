// Audio codecs: G.711 against tables worked out from the law's definition,
// and every codec round trip checked on what is heard (frequency and level
// of a tone), not only on sizes.
#include "SipAudioDecoder.h"
#include "SipAudioEncoder.h"
#include "SipG711.h"
#include "Tone.h"

#include <gtest/gtest.h>

#include <memory>
#include <typeinfo>

namespace {

// mu-law, 14-bit units: code (sign, segment s, step m) stands for
// +-((2m + 33) * 2^s - 33) and covers the magnitudes
// [(2m + 32) * 2^s - 33, (2m + 34) * 2^s - 33).
int ulawReference14(int s, int m)
{
    return (2 * m + 33) * (1 << s) - 33;
}

// A-law, 13-bit units: segment 0 stands for 2m + 1 and covers [2m, 2m + 2);
// segment s > 0 stands for (2m + 33) * 2^(s-1) and covers
// [(2m + 32) * 2^(s-1), (2m + 34) * 2^(s-1)).
int alawReference13(int s, int m)
{
    return s == 0 ? 2 * m + 1 : (2 * m + 33) * (1 << (s - 1));
}

TEST(SipG711, ExpansionOfEveryCodeWord)
{
    for (int code = 0; code < 256; ++code) {
        const int u = (~code) & 0xFF;
        const int mu = ulawReference14((u >> 4) & 7, u & 15) * 4;
        EXPECT_EQ(SipG711::ulawToLinear(uint8_t(code)), (u & 0x80) ? -mu : mu) << "mu-law " << code;
        const int a = code ^ 0x55;
        const int al = alawReference13((a >> 4) & 7, a & 15) * 8;
        EXPECT_EQ(SipG711::alawToLinear(uint8_t(code)), (a & 0x80) ? al : -al) << "A-law " << code;
    }
    // Values every G.711 implementation agrees on.
    EXPECT_EQ(SipG711::ulawToLinear(0x00), -32124);
    EXPECT_EQ(SipG711::ulawToLinear(0x80), 32124);
    EXPECT_EQ(SipG711::ulawToLinear(0xFF), 0);
    EXPECT_EQ(SipG711::ulawToLinear(0x7F), 0);
    EXPECT_EQ(SipG711::alawToLinear(0xD5), 8);
    EXPECT_EQ(SipG711::alawToLinear(0x55), -8);
    EXPECT_EQ(SipG711::alawToLinear(0xAA), 32256);
    EXPECT_EQ(SipG711::alawToLinear(0x2A), -32256);
}

TEST(SipG711, CompressionOfEveryTableEntry)
{
    for (int index = 0; index < 16384; ++index) {
        const int v14 = index >= 8192 ? index - 16384 : index;
        const auto sample = static_cast<int16_t>(v14 * 4);

        // mu-law: magnitude of the 14-bit value, into its interval.
        const int mMag = v14 < 0 ? -v14 : v14;
        int ulaw = 0x7F; // segment 7, step 15: everything above the range
        for (int s = 0; s < 8; ++s) {
            for (int m = 0; m < 16; ++m) {
                const int lo = (2 * m + 32) * (1 << s) - 33;
                const int hi = (2 * m + 34) * (1 << s) - 33;
                if (mMag >= lo && mMag < hi) {
                    ulaw = (s << 4) | m;
                    s = 8;
                    break;
                }
            }
        }
        const int expectedU = (~((v14 < 0 ? 0x80 : 0) | ulaw)) & 0xFF;
        ASSERT_EQ(SipG711::linearToUlaw(sample), expectedU) << "mu-law sample " << sample;

        // A-law: 13-bit value; negative values are mirrored around -1/2.
        const int v13 = v14 >> 1;
        const int aMag = v13 < 0 ? -v13 - 1 : v13;
        int alaw = 0x7F;
        for (int s = 0; s < 8; ++s) {
            for (int m = 0; m < 16; ++m) {
                const int lo = s == 0 ? 2 * m : (2 * m + 32) * (1 << (s - 1));
                const int hi = s == 0 ? 2 * m + 2 : (2 * m + 34) * (1 << (s - 1));
                if (aMag >= lo && aMag < hi) {
                    alaw = (s << 4) | m;
                    s = 8;
                    break;
                }
            }
        }
        const int expectedA = ((v13 < 0 ? 0 : 0x80) | alaw) ^ 0x55;
        ASSERT_EQ(SipG711::linearToAlaw(sample), expectedA) << "A-law sample " << sample;
    }
}

struct CodecCase
{
    const char *name;
    int number;
    int rate;
    int channels;
    int frameBytes;   // encoded bytes per 20 ms
    double levelTolDb; // decoded tone level against the source
};

void PrintTo(const CodecCase &c, std::ostream *os)
{
    *os << c.name;
}

class CodecRoundTrip : public ::testing::TestWithParam<CodecCase>
{
};

TEST_P(CodecRoundTrip, ToneComesBackAtItsFrequencyAndLevel)
{
    const CodecCase c = GetParam();
    const SipPayload payload(c.name, c.number, c.rate, c.channels);
    std::unique_ptr<SipAudioEncoder> enc(SipAudioEncoder::create(payload));
    std::unique_ptr<SipAudioDecoder> dec(SipAudioDecoder::create(payload));
    ASSERT_TRUE(enc && dec);
    EXPECT_EQ(enc->payload().number(), c.number);

    for (double hz : {440.0, 1000.0}) {
        const int frame = c.rate / 50;
        const double amplitude = 8000.0;
        std::vector<int16_t> decoded;
        for (int f = 0; f < 50; ++f) {
            const auto pcm = Tone::sine(hz, c.rate, c.channels, frame, amplitude, long(f) * frame);
            uint8_t out[7680];
            const int n = enc->encode(pcm.data(), int(pcm.size() * 2), out, sizeof(out));
            ASSERT_EQ(n, c.frameBytes) << c.name;
            int16_t back[3840];
            const int m = dec->decode(out, n, back, sizeof(back));
            ASSERT_EQ(m, int(pcm.size() * 2)) << c.name;
            decoded.insert(decoded.end(), back, back + m / 2);
        }
        // Leave out the first 100 ms, in which the codecs settle.
        const std::vector<int16_t> steady(decoded.begin() + decoded.size() / 10, decoded.end());
        for (int ch = 0; ch < c.channels; ++ch) {
            const auto x = Tone::channel(steady, c.channels, ch);
            EXPECT_NEAR(Tone::frequency(x, c.rate), hz, hz * 0.01) << c.name << " " << hz << " Hz";
            EXPECT_NEAR(Tone::rmsDb(x), Tone::sineDb(amplitude), c.levelTolDb) << c.name << " " << hz << " Hz";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Codecs, CodecRoundTrip,
                         ::testing::Values(CodecCase{"PCMU", 0, 8000, 1, 160, 0.3},
                                           CodecCase{"PCMA", 8, 8000, 1, 160, 0.3},
                                           CodecCase{"G722", 9, 8000, 1, 160, 1.5},
                                           CodecCase{"GSM", 3, 8000, 1, 33, 2.0},
                                           CodecCase{"opus", 102, 48000, 2, 120, 1.0}),
                         [](const ::testing::TestParamInfo<CodecCase> &info) { return std::string(info.param.name); });

TEST(SipAudioCodec, CreationByName)
{
    std::unique_ptr<SipAudioEncoder> lower(SipAudioEncoder::create(SipPayload("pcmu", 0, 8000, 1)));
    std::unique_ptr<SipAudioEncoder> upper(SipAudioEncoder::create(SipPayload("PCMU", 0, 8000, 1)));
    ASSERT_TRUE(lower && upper);
    EXPECT_EQ(typeid(*lower), typeid(*upper));
    for (const char *name : {"L16", "GSM-EFR", "G7221", "", "telephone-event"}) {
        EXPECT_EQ(std::unique_ptr<SipAudioEncoder>(SipAudioEncoder::create(SipPayload(name, 96, 8000, 1))), nullptr)
            << name;
        EXPECT_EQ(std::unique_ptr<SipAudioDecoder>(SipAudioDecoder::create(SipPayload(name, 96, 8000, 1))), nullptr)
            << name;
    }
    // Opus refuses a clock rate it has no mode for: no codec object.
    EXPECT_EQ(std::unique_ptr<SipAudioEncoder>(SipAudioEncoder::create(SipPayload("opus", 102, 44100, 2))), nullptr);
    EXPECT_EQ(std::unique_ptr<SipAudioDecoder>(SipAudioDecoder::create(SipPayload("opus", 102, 44100, 2))), nullptr);
}

TEST(SipAudioCodec, RefusedInput)
{
    std::unique_ptr<SipAudioDecoder> opus(SipAudioDecoder::create(SipPayload("opus", 102, 48000, 2)));
    ASSERT_TRUE(opus);
    const std::vector<uint8_t> big(400, 0x55);
    int16_t out[3840];
    EXPECT_EQ(opus->decode(big.data(), 400, out, sizeof(out)), 0);

    std::unique_ptr<SipAudioDecoder> gsm(SipAudioDecoder::create(SipPayload("GSM", 3, 8000, 1)));
    ASSERT_TRUE(gsm);
    uint8_t frame[33] = {0x20}; // signature nibble 2, not 0xD
    EXPECT_EQ(gsm->decode(frame, 33, out, sizeof(out)), 0);
    frame[0] = 0xD0;
    EXPECT_EQ(gsm->decode(frame, 33, out, sizeof(out)), 320);
    EXPECT_EQ(gsm->decode(frame, 32, out, sizeof(out)), 0); // no whole frame

    // Output never exceeds the capacity given.
    std::unique_ptr<SipAudioDecoder> pcma(SipAudioDecoder::create(SipPayload("PCMA", 8, 8000, 1)));
    const std::vector<uint8_t> codes(160, 0xD5);
    EXPECT_EQ(pcma->decode(codes.data(), 160, out, 100), 100);
}

} // namespace
