// The RTP stream over loopback: numbering on the wire, the receive checks
// (malformed, duplicate, late), RTCP on the odd port, the BYE and wake-up.
#include "RtpSession.h"
#include "TestSupport.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

namespace {

using PaTest::UdpPeer;

// An open session on a free even port of 127.0.0.1.
void openSession(RtpSession &s)
{
    for (int attempt = 0; attempt < 20; ++attempt) {
        if (s.open("127.0.0.1", PaTest::freeRtpPort()) == 0) {
            return;
        }
    }
    FAIL() << "no free RTP port pair";
}

std::vector<uint8_t> packet(uint8_t pt, uint16_t seq, uint32_t ts, uint32_t ssrc, uint8_t fill = 0x11)
{
    const std::vector<uint8_t> payload(20, fill);
    std::vector<uint8_t> out(64);
    out.resize(RtpPacket::write(pt, false, seq, ts, ssrc, payload.data(), 20, out.data(), 64));
    return out;
}

// Receives until `count` packets arrived or two seconds passed.
std::vector<RtpPacket> receiveAll(RtpSession &s, size_t count)
{
    std::vector<RtpPacket> got;
    RtpPacket batch[10];
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (got.size() < count && std::chrono::steady_clock::now() < end) {
        const int n = s.receive(batch, 10, 100);
        for (int i = 0; i < n; ++i) {
            got.push_back(batch[i]);
        }
    }
    return got;
}

TEST(RtpSession, NumbersPacketsContiguouslyFromRandomStart)
{
    RtpSession a, b;
    openSession(a);
    openSession(b);
    ASSERT_EQ(a.setDestination("127.0.0.1", b.localPort()), 0);
    const uint16_t firstSeq = a.nextSequence();
    const uint32_t firstTs = a.nextTimestamp();
    const uint8_t payload[160] = {1, 2, 3};
    for (int i = 0; i < 50; ++i) {
        ASSERT_EQ(a.sendPacket(payload, 160, 0, false, 160), 172);
    }
    const auto got = receiveAll(b, 50);
    ASSERT_EQ(got.size(), 50u);
    for (size_t i = 0; i < got.size(); ++i) {
        EXPECT_EQ(got[i].sequence(), static_cast<uint16_t>(firstSeq + i));
        EXPECT_EQ(got[i].timestamp(), firstTs + 160u * i);
        EXPECT_EQ(got[i].ssrc(), a.ssrc());
        EXPECT_EQ(got[i].payloadType(), 0);
        EXPECT_FALSE(got[i].marker());
        EXPECT_EQ(got[i].payloadLength(), 160);
    }
    EXPECT_EQ(b.stats().lost, 0u);
    EXPECT_EQ(a.stats().sent, 50u);
}

TEST(RtpSession, MalformedDatagramsAreDroppedAndReceivingGoesOn)
{
    RtpSession s;
    openSession(s);
    UdpPeer peer;
    ASSERT_TRUE(peer.isOpen());
    auto good = packet(8, 100, 1000, 7);
    std::vector<uint8_t> badVersion = good;
    badVersion[0] = 0x40;
    std::vector<uint8_t> csrcOverflow = good;
    csrcOverflow[0] = 0x8F;
    std::vector<uint8_t> badPadding = good;
    badPadding[0] = 0xA0;
    badPadding.back() = 200;
    const std::vector<uint8_t> shortOne = {0x80, 0x08, 0, 1};
    for (const auto &d : {good, badVersion, shortOne, csrcOverflow, badPadding, packet(8, 101, 1160, 7)}) {
        ASSERT_TRUE(peer.sendTo(s.localPort(), d));
    }
    const auto got = receiveAll(s, 2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].sequence(), 100);
    EXPECT_EQ(got[1].sequence(), 101);
    EXPECT_EQ(s.stats().malformed, 4u);
}

TEST(RtpSession, DuplicatesAndLatePacketsAreDroppedLossIsCounted)
{
    RtpSession s;
    openSession(s);
    UdpPeer peer;
    // 10, 11, 11 again, 13, 12 (late), 14, 10 again.
    const std::vector<uint16_t> sent = {10, 11, 11, 13, 12, 14, 10};
    for (uint16_t seq : sent) {
        ASSERT_TRUE(peer.sendTo(s.localPort(), packet(0, seq, seq * 160u, 42)));
    }
    auto got = receiveAll(s, 4);
    std::vector<uint16_t> seqs;
    for (const auto &p : got) {
        seqs.push_back(p.sequence());
    }
    EXPECT_EQ(seqs, (std::vector<uint16_t>{10, 11, 13, 14}));
    // Give the two trailing datagrams time to be read and refused.
    RtpPacket batch[10];
    EXPECT_EQ(s.receive(batch, 10, 100), 0);
    const auto st = s.stats();
    EXPECT_EQ(st.duplicates, 2u);
    EXPECT_EQ(st.late, 1u);
    EXPECT_EQ(st.lost, 0u);

    // A new source starts its own numbering; the count wraps from 65535 to
    // 0 and a gap after it counts as one loss.
    for (uint16_t seq : {uint16_t(65535), uint16_t(0), uint16_t(2)}) {
        ASSERT_TRUE(peer.sendTo(s.localPort(), packet(0, seq, 0, 43)));
    }
    got = receiveAll(s, 3);
    ASSERT_EQ(got.size(), 3u);
    EXPECT_EQ(got[1].sequence(), 0);
    EXPECT_EQ(s.stats().lost, 1u);
}

TEST(RtpSession, RtcpIsReadAndDroppedAndStopSendsBye)
{
    RtpSession s;
    openSession(s);
    UdpPeer rtcpIn;
    UdpPeer peer;
    // The destination's RTCP port is the one above its data port.
    const int destRtp = rtcpIn.port() - 1;
    ASSERT_EQ(s.setDestination("127.0.0.1", destRtp), 0);
    ASSERT_TRUE(peer.sendTo(s.localPort() + 1, std::vector<uint8_t>{0x80, 201, 0, 1, 0, 0, 0, 9}));
    ASSERT_TRUE(peer.sendTo(s.localPort(), packet(0, 5, 0, 9)));
    const auto got = receiveAll(s, 1);
    ASSERT_EQ(got.size(), 1u);
    EXPECT_EQ(s.stats().rtcp, 1u);

    s.sendBye();
    const auto bye = rtcpIn.receive(2000);
    ASSERT_EQ(bye.size(), 16u);
    EXPECT_EQ(bye[1], 201); // receiver report first
    EXPECT_EQ(bye[8], 0x81);
    EXPECT_EQ(bye[9], 203); // then BYE for one source
    const uint32_t ssrc = (uint32_t(bye[12]) << 24) | (uint32_t(bye[13]) << 16) | (uint32_t(bye[14]) << 8) | bye[15];
    EXPECT_EQ(ssrc, s.ssrc());
}

TEST(RtpSession, WakeEndsAWaitingReceiveAtOnce)
{
    RtpSession s;
    openSession(s);
    std::thread waker([&s] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        s.wake();
    });
    RtpPacket batch[10];
    const auto t0 = std::chrono::steady_clock::now();
    EXPECT_EQ(s.receive(batch, 10, 5000), 0);
    const auto waited = std::chrono::steady_clock::now() - t0;
    waker.join();
    EXPECT_LT(waited, std::chrono::milliseconds(1000));
    s.close();
    EXPECT_EQ(s.receive(batch, 10, 10), -1);
}

TEST(RtpSession, PortRulesAndAddressErrors)
{
    RtpSession a, b;
    openSession(a);
    // Odd port, port taken (data or RTCP half), zero.
    EXPECT_EQ(b.open("127.0.0.1", a.localPort() + 1), -1);
    EXPECT_EQ(b.open("127.0.0.1", a.localPort()), -1);
    const int pair = PaTest::freeRtpPort();
    UdpPeer rtcpTaken(pair + 1);
    ASSERT_TRUE(rtcpTaken.isOpen());
    EXPECT_EQ(b.open("127.0.0.1", pair), -1);
    EXPECT_EQ(b.open("127.0.0.1", 0), -1);
    EXPECT_FALSE(b.isOpen());
    EXPECT_EQ(a.setDestination("not-an-ip", 4000), -1);
    EXPECT_EQ(a.setDestination(nullptr, 4000), -1);
    EXPECT_EQ(a.setDestination("127.0.0.1", 0), -1);
    const uint8_t d[4] = {};
    EXPECT_EQ(a.sendPacket(d, 4, 0, false, 160), -1);
    // Closing frees both ports at once.
    const int port = a.localPort();
    a.close();
    EXPECT_EQ(b.open("127.0.0.1", port), 0);
}

} // namespace

// Only the peer's packets are kept: the destination, or while it is silent
// the first other source (a peer behind NAT), never a source after that.
TEST(RtpSession, KeepsThePeerOnlyAndLatchesOnceWhileItIsSilent)
{
    UdpPeer peer, natted, stranger;
    // Which source sends each packet (sequence = index + 1) and whether the
    // session keeps it.
    struct Step
    {
        UdpPeer *from;
        bool kept;
    };
    const std::vector<std::vector<Step>> scripts = {
        // The negotiated peer talks: every other source is refused.
        {{&peer, true}, {&stranger, false}, {&peer, true}, {&natted, false}},
        // The peer's address stays silent: the first source is latched, a
        // second one is not, and the latch is not moved.
        {{&natted, true}, {&stranger, false}, {&natted, true}, {&stranger, false}},
        // The peer is heard after a latch: it takes over for good.
        {{&natted, true}, {&peer, true}, {&natted, false}, {&peer, true}},
    };
    for (size_t c = 0; c < scripts.size(); ++c) {
        SCOPED_TRACE(c);
        RtpSession s;
        openSession(s);
        ASSERT_EQ(s.setDestination("127.0.0.1", peer.port()), 0);
        std::vector<uint16_t> expected;
        uint16_t foreign = 0;
        for (size_t i = 0; i < scripts[c].size(); ++i) {
            const uint16_t seq = uint16_t(i + 1);
            // One stream seen from every source, so only the address decides.
            ASSERT_TRUE(scripts[c][i].from->sendTo(s.localPort(), packet(0, seq, seq * 160u, 7)));
            // Received in order: a latch depends on which source came first.
            RtpPacket batch[4];
            const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(2);
            int n = 0;
            while (n == 0 && s.stats().foreign == foreign && std::chrono::steady_clock::now() < end) {
                n = s.receive(batch, 4, 50);
            }
            if (scripts[c][i].kept) {
                ASSERT_EQ(n, 1) << "packet " << seq;
                EXPECT_EQ(batch[0].sequence(), seq);
            } else {
                EXPECT_EQ(n, 0) << "packet " << seq;
                EXPECT_EQ(s.stats().foreign, ++foreign) << "packet " << seq;
            }
        }
    }
}
