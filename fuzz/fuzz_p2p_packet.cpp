// P2P datagrams from the network: the parser, and a session fed a stream of
// parsed datagrams (segment reassembly, acknowledgements, audio order).
#include "P2PPacket.h"
#include "P2PSession.h"

#include <netinet/in.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    P2PPacket p;
    if (P2PPacket::parse(data, size, p)) {
        // What the parser accepts, the encoder writes back byte for byte.
        const std::vector<uint8_t> again = p.encode();
        if (again.size() != size || !std::equal(again.begin(), again.end(), data))
            std::abort();
    }
    // The same bytes cut into datagrams by a leading length byte each.
    sockaddr_in peer{};
    P2PSession session(0, peer, P2PSession::State::Open, 0.0);
    size_t pos = 0;
    double now = 0;
    while (pos < size) {
        const size_t n = std::min<size_t>(data[pos], size - pos - 1);
        ++pos;
        P2PPacket q;
        if (P2PPacket::parse(data + pos, n, q)) {
            if (q.type == P2PPacket::Data)
                session.onData(q);
            else if (q.type == P2PPacket::Ack)
                session.onAck(q.ack, q.ackBits);
            else if (q.type == P2PPacket::Audio)
                session.onAudio(q);
        }
        pos += n;
        now += 0.05;
        std::vector<P2PPacket> due;
        session.collectDue(now, due);
        session.makeAck();
    }
    P2PSession::Message m;
    while (session.takeMessage(P2PPacket::IoCtrl, 0, m)) {
    }
    return 0;
}
