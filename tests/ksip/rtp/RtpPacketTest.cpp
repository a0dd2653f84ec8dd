// The RTP header writer and the strict parser that guards the receive path.
#include "RtpPacket.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(RtpPacket, HeaderRoundTrip)
{
    struct Case
    {
        uint8_t pt;
        bool marker;
        uint16_t seq;
        uint32_t ts;
        uint32_t ssrc;
        int payloadLength;
    };
    const Case cases[] = {{0, false, 0, 0, 0, 160},
                          {8, true, 65535, 0xFFFFFFFFu, 0x12345678u, 1},
                          {102, false, 0x8001, 0x80000000u, 0xDEADBEEFu, 120},
                          {127, true, 1, 960, 1, 0}};
    for (const Case &c : cases) {
        std::vector<uint8_t> payload(c.payloadLength);
        for (int i = 0; i < c.payloadLength; ++i) {
            payload[i] = static_cast<uint8_t>(i * 7 + 3);
        }
        uint8_t out[RtpPacket::kMaxSize];
        const int n = RtpPacket::write(c.pt, c.marker, c.seq, c.ts, c.ssrc, payload.data(), c.payloadLength, out,
                                       sizeof(out));
        ASSERT_EQ(n, 12 + c.payloadLength);
        RtpPacket p;
        ASSERT_TRUE(p.parse(out, n));
        EXPECT_EQ(p.payloadType(), c.pt);
        EXPECT_EQ(p.marker(), c.marker);
        EXPECT_EQ(p.sequence(), c.seq);
        EXPECT_EQ(p.timestamp(), c.ts);
        EXPECT_EQ(p.ssrc(), c.ssrc);
        ASSERT_EQ(p.payloadLength(), c.payloadLength);
        EXPECT_EQ(std::vector<uint8_t>(p.payload(), p.payload() + p.payloadLength()), payload);
    }
    uint8_t small[20];
    const uint8_t data[10] = {};
    EXPECT_EQ(RtpPacket::write(0, false, 0, 0, 0, data, 10, small, sizeof(small)), -1);
    EXPECT_EQ(RtpPacket::write(128, false, 0, 0, 0, data, 1, small, sizeof(small)), -1);
}

TEST(RtpPacket, CsrcExtensionAndPaddingLocateThePayload)
{
    // V=2, P=1, X=1, CC=2; two CSRCs, a one-word extension, 3 payload
    // bytes and 2 bytes of padding.
    std::vector<uint8_t> d = {0xB2, 0x00, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3};
    d.insert(d.end(), {1, 1, 1, 1, 2, 2, 2, 2});       // CSRC
    d.insert(d.end(), {0xBE, 0xDE, 0, 1, 9, 9, 9, 9}); // extension
    d.insert(d.end(), {0xA1, 0xA2, 0xA3, 0x00, 0x02});  // payload, padding
    RtpPacket p;
    ASSERT_TRUE(p.parse(d.data(), static_cast<int>(d.size())));
    EXPECT_EQ(p.csrcCount(), 2);
    ASSERT_EQ(p.payloadLength(), 3);
    EXPECT_EQ(p.payload()[0], 0xA1);
    EXPECT_EQ(p.payload()[2], 0xA3);
}

TEST(RtpPacket, MalformedPacketsAreRefused)
{
    const std::vector<uint8_t> good = {0x80, 0x00, 0, 1, 0, 0, 0, 2, 0, 0, 0, 3, 0xAA, 0xBB};
    struct Case
    {
        const char *what;
        std::vector<uint8_t> bytes;
    };
    auto with = [&good](std::initializer_list<std::pair<int, uint8_t>> edits, int length = -1) {
        std::vector<uint8_t> b = good;
        for (auto e : edits) {
            b[e.first] = e.second;
        }
        if (length >= 0) {
            b.resize(length);
        }
        return b;
    };
    const Case cases[] = {
        {"empty", {}},
        {"shorter than the fixed header", with({}, 11)},
        {"version 0", with({{0, 0x00}})},
        {"version 1", with({{0, 0x40}})},
        {"version 3", with({{0, 0xC0}})},
        {"CSRC count past the end", with({{0, 0x81}})},
        {"CSRC count 15", with({{0, 0x8F}})},
        {"extension header cut", with({{0, 0x90}})},
        {"extension length past the end", [&] {
             auto b = with({{0, 0x90}});
             b.insert(b.end(), {0xBE, 0xDE, 0x00, 0x05});
             return b;
         }()},
        {"padding count zero", with({{0, 0xA0}, {13, 0x00}})},
        {"padding longer than the payload", with({{0, 0xA0}, {13, 0x03}})},
        {"padding eating the header", with({{0, 0xA0}, {13, 0xFF}})},
    };
    for (const Case &c : cases) {
        RtpPacket p;
        EXPECT_FALSE(p.parse(c.bytes.data(), static_cast<int>(c.bytes.size()))) << c.what;
        EXPECT_FALSE(p.isValid()) << c.what;
    }
    RtpPacket p;
    EXPECT_TRUE(p.parse(good.data(), static_cast<int>(good.size())));
    // Padding that takes exactly the whole payload leaves an empty payload.
    const auto allPadding = with({{0, 0xA0}, {13, 0x02}});
    ASSERT_TRUE(p.parse(allPadding.data(), static_cast<int>(allPadding.size())));
    EXPECT_EQ(p.payloadLength(), 0);
}

} // namespace
