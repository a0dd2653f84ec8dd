#include "KelAudioFrame.h"
#include "KelCode.h"
#include "KelPacket.h"

#include <gtest/gtest.h>

TEST(KelCode, EncodeLayoutAndRoundTrip)
{
    const QString payload = QStringLiteral("192.168.10.2:9024"); // 17 characters
    const QString code = KelCode::encode(payload);
    ASSERT_EQ(code.size(), 27);
    EXPECT_TRUE(code.startsWith(QStringLiteral("010111")));
    EXPECT_EQ(code.mid(23, 2), QStringLiteral("P0"));

    uint8_t x = 0;
    for (int i = 0; i < 25; ++i)
        x ^= uint8_t(code.at(i).toLatin1());
    EXPECT_EQ(code.right(2), QString::asprintf("%02x", x));

    KelCode out;
    ASSERT_TRUE(KelCode::decode(code, out));
    EXPECT_EQ(out.version, QStringLiteral("01"));
    EXPECT_EQ(out.type, QStringLiteral("01"));
    EXPECT_EQ(out.trailer, QStringLiteral("P0"));
    EXPECT_EQ(out.payload, payload);

    // Upper-case checksum digits are accepted.
    QString upper = code;
    upper.replace(25, 2, code.right(2).toUpper());
    KelCode out2;
    EXPECT_TRUE(KelCode::decode(upper, out2));
    EXPECT_EQ(out2.payload, payload);
}

TEST(KelCode, DecodeRejectsAndLeavesOutputUnchanged)
{
    const QString code = KelCode::encode(QStringLiteral("UID-ABCDEF"));
    ASSERT_FALSE(code.isEmpty());
    QString badPayload = code;
    badPayload[8] = QLatin1Char('X');
    QString badVersion = code;
    badVersion[1] = QLatin1Char('2');
    QString badType = code;
    badType[3] = QLatin1Char('9');
    const QString tooLongClaim = QStringLiteral("0101ff") + QStringLiteral("abcd");

    const QString cases[] = {badPayload, badVersion, badType, QStringLiteral("010100"), tooLongClaim,
                             code.left(code.size() - 1)};
    for (const QString &t : cases) {
        KelCode out;
        out.payload = QStringLiteral("keep");
        EXPECT_FALSE(KelCode::decode(t, out)) << t.toStdString();
        EXPECT_EQ(out.payload, QStringLiteral("keep"));
        EXPECT_TRUE(out.version.isEmpty());
    }
}

TEST(KelCode, ShortFormHasNoTrailer)
{
    // Version "02": the checksum follows the payload directly.
    QString t = QStringLiteral("020203abc");
    uint8_t x = 0;
    for (QChar c : t)
        x ^= uint8_t(c.toLatin1());
    t += QString::asprintf("%02x", x);
    KelCode out;
    out.trailer = QStringLiteral("zz");
    ASSERT_TRUE(KelCode::decode(t, out));
    EXPECT_EQ(out.version, QStringLiteral("02"));
    EXPECT_EQ(out.type, QStringLiteral("02"));
    EXPECT_EQ(out.payload, QStringLiteral("abc"));
    EXPECT_TRUE(out.trailer.isEmpty());
}

TEST(KelCode, UnrepresentablePayloadGivesEmptyCode)
{
    EXPECT_TRUE(KelCode::encode(QString(256, QLatin1Char('a'))).isEmpty());
    EXPECT_EQ(KelCode::encode(QString(255, QLatin1Char('a'))).size(), 265);
    EXPECT_TRUE(KelCode::encode(QString::fromUtf8("\xe4\xb8\xad")).isEmpty());
}

TEST(KelAudioFrame, WireHeaderAndMeasure)
{
    KelAudioFrame f;
    f.codec = 3;
    f.channels = 1;
    f.sampleRate = 8000;
    f.timestamp = 1;
    f.data = {9, 9, 1, 2, 3};
    f.offset = 2;
    f.length = 3;

    std::vector<uint8_t> buf(4, 0xEE);
    EXPECT_EQ(f.serialize(buf.data(), 0, 0), 11);
    EXPECT_EQ(buf, std::vector<uint8_t>(4, 0xEE)); // nothing written
    EXPECT_EQ(f.serialize(buf, 0, 4), 11);         // too small: nothing written
    EXPECT_EQ(buf, std::vector<uint8_t>(4, 0xEE));

    std::vector<uint8_t> out(13, 0);
    ASSERT_EQ(f.serialize(out, 2, 11), 11);
    const std::vector<uint8_t> expect = {0, 0, 3, 1, 0x1F, 0x40, 0, 0, 0, 1, 1, 2, 3};
    EXPECT_EQ(out, expect);

    // A capacity larger than the vector holds never writes past its end.
    std::vector<uint8_t> small(5, 0);
    EXPECT_EQ(f.serialize(small, 0, 100), 11);
    EXPECT_EQ(small, std::vector<uint8_t>(5, 0));

    // Offset/length outside data: refused.
    KelAudioFrame broken = f;
    broken.length = 100;
    EXPECT_EQ(broken.serialize(out.data(), 0, 200), -1);
}

TEST(KelAudioFrame, ParseBothForms)
{
    const std::vector<uint8_t> wire = {0xAA, 0xFF, 0x02, 0x80, 0x12, 0x34, 0x56, 0x78, 5, 6, 7, 8, 9, 10};
    KelAudioFrame a;
    ASSERT_TRUE(a.parse(wire.data(), 1, 13));
    EXPECT_EQ(a.codec, 0xFFFFFFFFu); // signed byte -1
    EXPECT_EQ(a.channels, 2u);
    EXPECT_EQ(a.sampleRate, 0x8012u);
    EXPECT_EQ(a.timestamp, (uint32_t(0x34) << 24) | (0x56u << 16) | (0x78u << 8) | 5u);
    EXPECT_EQ(a.offset, 0);
    EXPECT_EQ(a.length, 5);
    EXPECT_EQ(a.data, (std::vector<uint8_t>{6, 7, 8, 9, 10}));

    KelAudioFrame b;
    ASSERT_TRUE(b.parse(wire, 0, 12));
    EXPECT_EQ(b.codec, 0xFFFFFFAAu);
    EXPECT_EQ(b.data, wire);
    EXPECT_EQ(b.offset, 8);
    EXPECT_EQ(b.length, 4);
    EXPECT_EQ(b.payload()[0], 5);

    // Short input leaves the frame unchanged; a range past the vector is refused.
    KelAudioFrame c = b;
    EXPECT_FALSE(c.parse(wire.data(), 0, 7));
    EXPECT_FALSE(c.parse(wire, 0, 7));
    EXPECT_FALSE(c.parse(wire, 10, 8));
    EXPECT_EQ(c.data, b.data);
    EXPECT_EQ(c.length, 4);

    // Round trip through the wire form.
    std::vector<uint8_t> buf(b.serialize(nullptr, 0, 0));
    ASSERT_EQ(b.serialize(buf, 0, int(buf.size())), 12);
    KelAudioFrame d;
    ASSERT_TRUE(d.parse(buf, 0, int(buf.size())));
    EXPECT_EQ(d.sampleRate, b.sampleRate);
    EXPECT_EQ(d.timestamp, b.timestamp);
    EXPECT_EQ(std::vector<uint8_t>(d.payload(), d.payload() + d.length),
              std::vector<uint8_t>(b.payload(), b.payload() + b.length));

    d.reset();
    EXPECT_EQ(d.length, 0);
    EXPECT_TRUE(d.data.empty());
    EXPECT_EQ(d.codec | d.channels | d.sampleRate | d.timestamp, 0u);
}

TEST(KelPacket, BytesStayInsideData)
{
    KelPacket p("hello", 5);
    EXPECT_EQ(p.toString(), "hello");
    KelPacket q(std::vector<uint8_t>{'x', 'a', 'b'}, 1, 2);
    EXPECT_EQ(q.toString(), "ab");
    KelPacket r(std::vector<uint8_t>{'x'}, 1, 5);
    EXPECT_EQ(r.bytes(), nullptr);
    EXPECT_EQ(r.size(), 0);
    EXPECT_EQ(r.toString(), "");
}
