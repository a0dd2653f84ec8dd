// One connection's receive side fed straight from crafted segments, as a
// hostile peer would send them.
#include "P2PSession.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>

namespace {

P2PPacket segment(uint32_t seq, uint8_t channel, std::vector<uint8_t> bytes)
{
    P2PPacket p;
    p.type = P2PPacket::Data;
    p.connection = 1;
    p.seq = seq;
    p.kind = P2PPacket::IoCtrl;
    p.channel = channel;
    p.ioType = 2048;
    p.flags = P2PPacket::First | P2PPacket::Last;
    p.total = uint32_t(bytes.size());
    p.payload = std::move(bytes);
    return p;
}

sockaddr_in loopbackPeer()
{
    sockaddr_in peer{};
    peer.sin_family = AF_INET;
    peer.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    peer.sin_port = htons(40000);
    return peer;
}

} // namespace

// Messages nobody takes (here on a channel without a reader) are held only
// up to a bound, whatever their size: past it the stream is no longer
// acknowledged, and taking a message makes room again.
TEST(P2PSessionTest, HeldMessagesAreBoundedEvenWhenEmpty)
{
    for (const size_t size : {size_t(0), size_t(1), size_t(1000)}) {
        SCOPED_TRACE(size);
        P2PSession s(1, loopbackPeer(), P2PSession::State::Open, 0);
        uint32_t seq = 1;
        const uint32_t limit = 1u << 21;
        while (seq < limit && s.onData(segment(seq, 9, std::vector<uint8_t>(size, 0x41))))
            ++seq;
        ASSERT_LT(seq, limit) << "the session kept taking messages nobody reads";
        // A refused segment is not acknowledged, so the peer sends it again.
        EXPECT_EQ(s.makeAck().ack, seq);
        P2PSession::Message m;
        ASSERT_TRUE(s.takeMessage(P2PPacket::IoCtrl, 9, m));
        EXPECT_EQ(m.bytes.size(), size);
        EXPECT_TRUE(s.onData(segment(seq, 9, std::vector<uint8_t>(size, 0x41))));
        EXPECT_EQ(s.makeAck().ack, seq + 1);
    }
}
