// The datagram parser: every type survives a round trip, and anything that
// is not exactly one well-formed datagram is refused.
#include "P2PPacket.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

P2PPacket make(uint8_t type)
{
    P2PPacket p;
    p.type = type;
    p.connection = 0xA1B2C3D4;
    p.seq = 7;
    p.ack = 5;
    return p;
}

std::vector<P2PPacket> samples()
{
    std::vector<P2PPacket> out;
    P2PPacket login = make(P2PPacket::Login);
    login.uid = "DEVICE-UID-0001";
    login.info = {16, 0, 0, 0, 0, 0, 0, 0, '7', '3', '5', '1', '9', '0', '4', '6'};
    out.push_back(login);
    P2PPacket loginReply = make(P2PPacket::LoginReply);
    loginReply.result = -22;
    out.push_back(loginReply);
    P2PPacket lookup = make(P2PPacket::Lookup);
    lookup.uid = "X";
    out.push_back(lookup);
    P2PPacket lookupReply = make(P2PPacket::LookupReply);
    lookupReply.address = 0x7F000001;
    lookupReply.port = 40123;
    out.push_back(lookupReply);
    P2PPacket connect = make(P2PPacket::Connect);
    connect.uid = std::string(P2PPacket::MaxUidLength, 'U');
    out.push_back(connect);
    P2PPacket connectReply = make(P2PPacket::ConnectReply);
    connectReply.result = -23;
    out.push_back(connectReply);
    P2PPacket data = make(P2PPacket::Data);
    data.kind = P2PPacket::IoCtrl;
    data.flags = P2PPacket::First;
    data.channel = 3;
    data.ioType = 2048;
    data.total = 5000;
    data.payload.assign(P2PPacket::MaxSegment, 0x5A);
    out.push_back(data);
    P2PPacket single = make(P2PPacket::Data);
    single.kind = P2PPacket::AvStart;
    single.flags = P2PPacket::First | P2PPacket::Last;
    single.total = 3;
    single.payload = {'a', 0, 'b'};
    out.push_back(single);
    P2PPacket ack = make(P2PPacket::Ack);
    ack.ackBits = 0x8000000000000001ull;
    out.push_back(ack);
    P2PPacket audio = make(P2PPacket::Audio);
    audio.frameNo = 99;
    audio.frameInfo[0] = 137;
    audio.frameInfo[2] = 2;
    audio.payload.assign(P2PPacket::MaxAudio, 0x11);
    out.push_back(audio);
    out.push_back(make(P2PPacket::Ping));
    out.push_back(make(P2PPacket::Close));
    return out;
}

bool parses(const std::vector<uint8_t> &bytes)
{
    P2PPacket p;
    return P2PPacket::parse(bytes.data(), bytes.size(), p);
}

} // namespace

TEST(P2PPacketTest, EveryTypeSurvivesARoundTrip)
{
    for (const P2PPacket &in : samples()) {
        SCOPED_TRACE(int(in.type));
        const std::vector<uint8_t> bytes = in.encode();
        ASSERT_FALSE(bytes.empty());
        P2PPacket out;
        ASSERT_TRUE(P2PPacket::parse(bytes.data(), bytes.size(), out));
        EXPECT_EQ(out.encode(), bytes);
        EXPECT_EQ(out.type, in.type);
        EXPECT_EQ(out.connection, in.connection);
        EXPECT_EQ(out.uid, in.uid);
        EXPECT_EQ(out.payload, in.payload);
        EXPECT_EQ(out.result, in.result);
        EXPECT_EQ(out.ackBits, in.ackBits);
    }
}

TEST(P2PPacketTest, TruncatedOrPaddedDatagramsAreRefused)
{
    for (const P2PPacket &in : samples()) {
        SCOPED_TRACE(int(in.type));
        std::vector<uint8_t> bytes = in.encode();
        for (size_t n = 0; n < bytes.size(); ++n) {
            P2PPacket out;
            EXPECT_FALSE(P2PPacket::parse(bytes.data(), n, out)) << "prefix of " << n << " bytes";
        }
        bytes.push_back(0);
        EXPECT_FALSE(parses(bytes));
    }
    P2PPacket out;
    EXPECT_FALSE(P2PPacket::parse(nullptr, 40, out));
}

TEST(P2PPacketTest, FieldsOutOfRangeAreRefused)
{
    struct Case {
        const char *name;
        std::function<void(std::vector<uint8_t> &)> spoil;
        uint8_t type;
    };
    const std::vector<Case> cases = {
        {"bad magic", [](auto &b) { b[0] ^= 0xFF; }, P2PPacket::Ping},
        {"unknown version", [](auto &b) { b[2] = 2; }, P2PPacket::Ping},
        {"type zero", [](auto &b) { b[3] = 0; }, P2PPacket::Ping},
        {"type past the last", [](auto &b) { b[3] = P2PPacket::TypeCount; }, P2PPacket::Ping},
        {"uid longer than allowed", [](auto &b) { b[16] = 65; b.resize(17 + 65, 'a'); }, P2PPacket::Lookup},
        {"uid with a control character", [](auto &b) { b[17] = '\n'; }, P2PPacket::Lookup},
        {"segment kind unknown", [](auto &b) { b[16] = 9; }, P2PPacket::Data},
        {"segment reserved byte set", [](auto &b) { b[19] = 1; }, P2PPacket::Data},
        {"audio reserved byte set", [](auto &b) { b[17] = 1; }, P2PPacket::Audio},
        {"segment flags unknown", [](auto &b) { b[17] |= 4; }, P2PPacket::Data},
        {"segment sequence zero", [](auto &b) { b[8] = b[9] = b[10] = b[11] = 0; }, P2PPacket::Data},
        {"first segment longer than its message", [](auto &b) { b[27] = 2; }, P2PPacket::Data},
        {"message larger than allowed", [](auto &b) { b[24] = 0x7F; }, P2PPacket::Data},
        {"segment length past the datagram", [](auto &b) { b[27] = 200; b[29] = 200; }, P2PPacket::Data},
        {"audio frame of zero bytes", [](auto &b) { b[18] = 0; b[19] = 0; b.resize(40); }, P2PPacket::Audio},
        {"audio frame over 1280 bytes", [](auto &b) { b[18] = 0x05; b[19] = 0x01; b.resize(40 + 1281, 0); }, P2PPacket::Audio},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        P2PPacket p;
        for (const P2PPacket &s : samples()) {
            if (s.type == c.type && (c.type != P2PPacket::Data || s.flags == (P2PPacket::First | P2PPacket::Last)))
                p = s;
        }
        if (c.type == P2PPacket::Audio)
            p.payload.assign(4, 1);
        std::vector<uint8_t> bytes = p.encode();
        ASSERT_TRUE(parses(bytes));
        c.spoil(bytes);
        EXPECT_FALSE(parses(bytes));
    }
    // Larger than any datagram the protocol sends.
    std::vector<uint8_t> huge = make(P2PPacket::Ping).encode();
    huge.resize(P2PPacket::MaxDatagram + 1);
    EXPECT_FALSE(parses(huge));
}

TEST(P2PPacketTest, EncodeRefusesWhatTheParserWouldRefuse)
{
    P2PPacket longUid = make(P2PPacket::Connect);
    longUid.uid.assign(P2PPacket::MaxUidLength + 1, 'u');
    EXPECT_TRUE(longUid.encode().empty());
    P2PPacket shortInfo = make(P2PPacket::Login);
    shortInfo.info.assign(15, 0);
    EXPECT_TRUE(shortInfo.encode().empty());
    P2PPacket bigSegment = make(P2PPacket::Data);
    bigSegment.payload.assign(P2PPacket::MaxSegment + 1, 0);
    EXPECT_TRUE(bigSegment.encode().empty());
    P2PPacket emptyAudio = make(P2PPacket::Audio);
    EXPECT_TRUE(emptyAudio.encode().empty());
}
