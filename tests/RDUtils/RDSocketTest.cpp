#include "RDSocketAddress.h"
#include "RDTcpSocket.h"
#include "RDTcpSocketServer.h"
#include "RDUdpSocket.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <cerrno>
#include <fcntl.h>
#include <memory>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

int localPort(int fd)
{
    sockaddr_in a {};
    socklen_t len = sizeof(a);
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return -1;
    return ntohs(a.sin_port);
}

std::string localHost(int fd)
{
    sockaddr_in a {};
    socklen_t len = sizeof(a);
    if (getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0)
        return std::string();
    char text[INET_ADDRSTRLEN] = {0};
    inet_ntop(AF_INET, &a.sin_addr, text, sizeof(text));
    return text;
}

// A listening server on 127.0.0.1 with a port the system chose, and one
// connected client/accepted pair.
struct TcpPair
{
    RDTcpSocketServer server;
    std::unique_ptr<RDTcpSocket> client;
    std::unique_ptr<RDTcpSocket> accepted;

    bool open()
    {
        if (server.listen(RDSocketAddress("127.0.0.1", 0)) < 0)
            return false;
        client = std::make_unique<RDTcpSocket>();
        if (client->connect(RDSocketAddress("127.0.0.1", server.address().port)) < 0)
            return false;
        accepted.reset(server.accept());
        return accepted != nullptr;
    }
};

const char *const kUnresolvable = "no-such-host.invalid";

} // namespace

TEST(RDSocketAddress, DottedQuadTakesOnlyTheWholeFourPartForm)
{
    const struct { const char *text; bool dotted; } cases[] = {
        {"1.2.3.4", true}, {"0.0.0.0", true}, {"255.255.255.255", true}, {"127.0.0.1", true},
        {"256.1.1.1", false}, {"1.2.3.4x", false}, {"1.2.3.4 ", false}, {"1.2.3", false},
        {"1.2.3.4.5", false}, {"", false}, {"localhost", false}, {"-1.2.3.4", false},
    };
    for (const auto &c : cases)
        EXPECT_EQ(RDSocketAddress::isDottedQuad(c.text), c.dotted) << c.text;
}

TEST(RDSocketAddress, SockaddrConversionKeepsByteOrderAndResolvesNothing)
{
    const sockaddr_in a = RDSocketAddress("10.1.2.3", 51000).toSockaddr();
    EXPECT_EQ(a.sin_family, AF_INET);
    EXPECT_EQ(a.sin_port, htons(51000));
    EXPECT_EQ(a.sin_addr.s_addr, inet_addr("10.1.2.3"));

    RDSocketAddress back;
    back.fromSockaddr(a);
    EXPECT_EQ(back.host, "10.1.2.3");
    EXPECT_EQ(back.port, 51000);

    // Names and text with trailing garbage are not addresses here.
    EXPECT_EQ(RDSocketAddress("localhost", 1).toSockaddr().sin_addr.s_addr, INADDR_NONE);
    EXPECT_EQ(RDSocketAddress("1.2.3.4x", 1).toSockaddr().sin_addr.s_addr, INADDR_NONE);

    back.clear();
    EXPECT_TRUE(back.host.empty());
    EXPECT_EQ(back.port, 0);
}

TEST(RDSocketAddress, ResolveHost)
{
    std::string out = "unchanged";
    EXPECT_EQ(RDSocketAddress::resolveHost("localhost", out), 0);
    EXPECT_EQ(out, "127.0.0.1");

    out = "unchanged";
    EXPECT_EQ(RDSocketAddress::resolveHost(kUnresolvable, out), -1);
    EXPECT_EQ(out, "unchanged");
    EXPECT_EQ(RDSocketAddress::resolveHost("", out), -1);
    EXPECT_EQ(out, "unchanged");
}

TEST(RDSocket, BindChoosesTheAddressText)
{
    {
        RDUdpSocket s;
        ASSERT_EQ(s.bind(RDSocketAddress("", 0)), 0);
        EXPECT_EQ(localHost(s.handle()), "0.0.0.0");
        EXPECT_GT(localPort(s.handle()), 0);
        EXPECT_TRUE(s.address().host.empty()) << "bind does not store the address";
    }
    {
        RDTcpSocket s;
        ASSERT_EQ(s.bind(RDSocketAddress("localhost", 0)), 0);
        EXPECT_EQ(localHost(s.handle()), "127.0.0.1");
    }
    for (const char *bad : {kUnresolvable, "256.1.1.1"}) {
        RDTcpSocket s;
        EXPECT_EQ(s.bind(RDSocketAddress(bad, 0)), -1) << bad;
        EXPECT_TRUE(s.isValid()) << "a failed bind leaves the socket open";
    }
}

TEST(RDSocket, TcpConnectAcceptExchangeAndPeerClose)
{
    RDTcpSocketServer server;
    ASSERT_GE(server.listen(RDSocketAddress("127.0.0.1", 0)), 0);
    ASSERT_TRUE(server.isValid());
    const int port = server.address().port;
    ASSERT_GT(port, 0);
    EXPECT_EQ(server.address().host, "127.0.0.1");

    RDTcpSocket client;
    ASSERT_EQ(client.bind(RDSocketAddress("127.0.0.1", 0)), 0);
    const int clientPort = localPort(client.handle());
    // A host name is resolved by connect.
    EXPECT_EQ(client.connect(RDSocketAddress("localhost", port)), client.handle());
    EXPECT_EQ(client.address().host, "localhost");
    EXPECT_EQ(client.address().port, port);

    std::unique_ptr<RDTcpSocket> peer(server.accept());
    ASSERT_TRUE(peer);
    EXPECT_EQ(peer->address().host, "127.0.0.1");
    EXPECT_EQ(peer->address().port, clientPort);
    EXPECT_FALSE(peer->hasTimeouts());

    ASSERT_EQ(client.send("hello", 5), 5);
    char buf[16] = {0};
    ASSERT_EQ(peer->recv(buf, sizeof(buf)), 5);
    EXPECT_EQ(std::string(buf, 5), "hello");

    // Datagram calls on a stream socket answer -1 and change nothing.
    RDSocketAddress from;
    EXPECT_EQ(peer->sendTo(RDSocketAddress("127.0.0.1", port), "x", 1), -1);
    EXPECT_EQ(peer->recvFrom(from, buf, sizeof(buf)), -1);
    EXPECT_TRUE(peer->isValid());

    client.close();
    EXPECT_FALSE(client.isValid());
    EXPECT_TRUE(client.address().host.empty());

    // End of stream closes the socket on the spot; later calls fail.
    EXPECT_EQ(peer->recv(buf, sizeof(buf)), 0);
    EXPECT_FALSE(peer->isValid());
    EXPECT_TRUE(peer->address().host.empty());
    EXPECT_EQ(peer->recv(buf, sizeof(buf)), -1);
}

TEST(RDSocket, WouldBlockKeepsANonBlockingSocketOpen)
{
    TcpPair p;
    ASSERT_TRUE(p.open());
    ASSERT_EQ(p.accepted->setNonBlocking(), 0);
    char buf[8];
    EXPECT_EQ(p.accepted->recv(buf, sizeof(buf)), -1);
    EXPECT_TRUE(p.accepted->lastError() == EAGAIN || p.accepted->lastError() == EWOULDBLOCK);
    EXPECT_TRUE(p.accepted->isValid());
}

TEST(RDSocket, SendToAVanishedPeerFailsWithoutKillingTheProcess)
{
    // With the default SIGPIPE action this test would end the whole binary.
    TcpPair p;
    ASSERT_TRUE(p.open());
    p.client.reset();

    std::vector<char> chunk(65536, 'a');
    int rc = 1;
    for (int i = 0; i < 1000 && rc > 0; ++i)
        rc = p.accepted->send(chunk.data(), static_cast<int>(chunk.size()));
    EXPECT_EQ(rc, -1);
    EXPECT_TRUE(p.accepted->lastError() == EPIPE || p.accepted->lastError() == ECONNRESET)
        << p.accepted->lastError();
    EXPECT_FALSE(p.accepted->isValid());
}

TEST(RDSocket, FailedConnectClosesTheSocket)
{
    // A port that was just free: listen, note the port, close.
    int port;
    {
        RDTcpSocketServer s;
        ASSERT_GE(s.listen(RDSocketAddress("127.0.0.1", 0)), 0);
        port = s.address().port;
    }
    for (const char *host : {"127.0.0.1", kUnresolvable}) {
        RDTcpSocket c;
        EXPECT_EQ(c.connect(RDSocketAddress(host, port)), -1) << host;
        EXPECT_FALSE(c.isValid());
        EXPECT_TRUE(c.address().host.empty());
    }
}

TEST(RDSocket, CallsOnClosedSocketsFailCleanly)
{
    RDTcpSocket tcp;
    RDUdpSocket udp;
    tcp.close();
    udp.close();
    RDTcpSocket tcp2;
    EXPECT_EQ(tcp2.closeHandle(), 0);
    EXPECT_EQ(tcp2.closeHandle(), -1);
    EXPECT_FALSE(tcp2.isValid());

    char buf[4] = {0};
    RDSocketAddress from;
    const RDSocketAddress to("127.0.0.1", 9);
    for (RDSocket *s : std::vector<RDSocket *>{&tcp, &udp, &tcp2}) {
        EXPECT_FALSE(s->isValid());
        EXPECT_EQ(s->send("x", 1), -1);
        EXPECT_EQ(s->recv(buf, sizeof(buf)), -1);
        EXPECT_EQ(s->sendTo(to, "x", 1), -1);
        EXPECT_EQ(s->recvFrom(from, buf, sizeof(buf)), -1);
        EXPECT_EQ(s->bind(RDSocketAddress("127.0.0.1", 0)), -1);
        EXPECT_EQ(s->setReuseAddress(1), -1);
        EXPECT_EQ(s->setNonBlocking(), -1);
        EXPECT_EQ(s->waitReadable(0, 0), -1);
        EXPECT_EQ(s->connect(to), -1);
        EXPECT_FALSE(s->isValid());
        s->close();
    }
    EXPECT_EQ(tcp.listen(2), -1);
    EXPECT_EQ(tcp.accept(), nullptr);
    EXPECT_EQ(tcp.closeHandle(), -1);
    EXPECT_EQ(tcp.setTimeouts(1, 0), 0) << "stored only";
    EXPECT_TRUE(tcp.hasTimeouts());
    EXPECT_EQ(udp.setBroadcast(), -1);

    RDTcpSocketServer server;
    EXPECT_FALSE(server.isValid());
    EXPECT_EQ(server.accept(), nullptr);
    EXPECT_EQ(server.closeHandle(), -1);
    server.close();
    // Listening needs a dotted address: names are not resolved here.
    EXPECT_EQ(server.listen(RDSocketAddress("localhost", 0)), -1);
    EXPECT_FALSE(server.isValid());
    EXPECT_EQ(server.listen(RDSocketAddress(kUnresolvable, 0)), -1);
}

TEST(RDSocket, DescriptorZeroIsASocketLikeAnyOther)
{
    const int savedStdin = ::dup(0);
    ASSERT_GE(savedStdin, 0);
    ::close(0);
    bool gotZero = false;
    bool closed = false;
    {
        RDUdpSocket s;
        gotZero = s.handle() == 0;
        s.close();
        closed = ::fcntl(0, F_GETFD) == -1 && errno == EBADF;
    }
    bool closedByDtor = false;
    {
        auto s = std::make_unique<RDTcpSocket>();
        s.reset();
        closedByDtor = ::fcntl(0, F_GETFD) == -1 && errno == EBADF;
    }
    ::dup2(savedStdin, 0);
    ::close(savedStdin);
    ASSERT_TRUE(gotZero);
    EXPECT_TRUE(closed);
    EXPECT_TRUE(closedByDtor);
}

TEST(RDSocket, CloseFromAnotherThreadWakesBlockedCalls)
{
    TcpPair p;
    ASSERT_TRUE(p.open());
    RDUdpSocket udp;
    ASSERT_EQ(udp.bind(RDSocketAddress("127.0.0.1", 0)), 0);

    std::atomic<int> done {0};
    RDTcpSocket *acceptedByThread = reinterpret_cast<RDTcpSocket *>(1);
    int recvResult = 1, recvFromResult = 1;
    std::thread a([&] { acceptedByThread = p.server.accept(); ++done; });
    std::thread r([&] { char b[4]; recvResult = p.accepted->recv(b, 4); ++done; });
    std::thread u([&] { char b[4]; RDSocketAddress f; recvFromResult = udp.recvFrom(f, b, 4); ++done; });

    // Give the threads a moment to block; correctness does not depend on it.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    p.server.close();
    p.accepted->close();
    udp.close();
    const bool woke = PaTest::waitUntil([&] { return done.load() == 3; }, 5000);
    if (!woke) {
        // Unblock whatever is stuck so the test fails instead of hanging.
        p.client.reset();
    }
    a.join();
    r.join();
    u.join();
    ASSERT_TRUE(woke);
    EXPECT_EQ(acceptedByThread, nullptr);
    EXPECT_LE(recvResult, 0);
    EXPECT_LE(recvFromResult, 0);
}

TEST(RDSocket, DatagramSocketSurvivesEmptyDatagramsAndErrors)
{
    RDUdpSocket rx;
    ASSERT_EQ(rx.bind(RDSocketAddress("127.0.0.1", 0)), 0);
    const RDSocketAddress rxAddr("127.0.0.1", localPort(rx.handle()));
    RDUdpSocket tx;
    ASSERT_EQ(tx.bind(RDSocketAddress("127.0.0.1", 0)), 0);
    const int txPort = localPort(tx.handle());

    EXPECT_EQ(tx.sendTo(rxAddr, "", 0), 0);
    EXPECT_TRUE(tx.isValid());
    EXPECT_EQ(tx.sendTo(rxAddr, "x", 1), 1);

    char buf[8];
    RDSocketAddress from;
    EXPECT_EQ(rx.recvFrom(from, buf, sizeof(buf)), 0);
    EXPECT_TRUE(rx.isValid());
    EXPECT_EQ(from.port, txPort);
    EXPECT_EQ(rx.recvFrom(from, buf, sizeof(buf)), 1);
    EXPECT_EQ(buf[0], 'x');
    EXPECT_EQ(from.host, "127.0.0.1");
    EXPECT_EQ(from.port, txPort);

    // A connected datagram socket whose peer has no listener gets
    // ECONNREFUSED from the ICMP reply; that is no reason to close it.
    int deadPort;
    {
        RDUdpSocket gone;
        ASSERT_EQ(gone.bind(RDSocketAddress("127.0.0.1", 0)), 0);
        deadPort = localPort(gone.handle());
    }
    RDUdpSocket c;
    ASSERT_EQ(c.connect(RDSocketAddress("127.0.0.1", deadPort)), c.handle());
    EXPECT_EQ(c.send("x", 1), 1);
    ASSERT_EQ(c.setNonBlocking(), 0);
    int rc = 0;
    PaTest::waitUntil([&] { rc = c.recv(buf, sizeof(buf)); return rc == -1 && c.lastError() == ECONNREFUSED; }, 2000);
    EXPECT_EQ(c.lastError(), ECONNREFUSED);
    EXPECT_TRUE(c.isValid());
    EXPECT_EQ(c.send("y", 1), 1) << "still usable";
    EXPECT_EQ(c.setBroadcast(), 0);
}

TEST(RDSocket, WaitReadable)
{
    RDUdpSocket rx;
    ASSERT_EQ(rx.bind(RDSocketAddress("127.0.0.1", 0)), 0);
    EXPECT_EQ(rx.waitReadable(0, 100000), 0);
    EXPECT_EQ(rx.waitReadable(0, 0), 0);

    RDUdpSocket tx;
    ASSERT_EQ(tx.sendTo(RDSocketAddress("127.0.0.1", localPort(rx.handle())), "x", 1), 1);
    EXPECT_EQ(rx.waitReadable(5, 0), 1);

    // A stream whose peer closed is readable (the read gives the end).
    TcpPair p;
    ASSERT_TRUE(p.open());
    p.client.reset();
    EXPECT_EQ(p.accepted->waitReadable(5, 0), 1);
}

TEST(RDSocket, WaitReadableWorksPastDescriptor1023)
{
    rlimit lim;
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &lim), 0);
    const rlim_t need = 1200;
    if (lim.rlim_cur < need) {
        ASSERT_GE(lim.rlim_max, need) << "the test needs 1200 descriptors";
        rlimit raised = lim;
        raised.rlim_cur = need;
        ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &raised), 0);
    }
    std::vector<int> fillers;
    while (true) {
        const int fd = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
        ASSERT_GE(fd, 0);
        fillers.push_back(fd);
        if (fd >= 1100)
            break;
    }
    {
        RDUdpSocket rx;
        EXPECT_GE(rx.handle(), 1024);
        ASSERT_EQ(rx.bind(RDSocketAddress("127.0.0.1", 0)), 0);
        EXPECT_EQ(rx.waitReadable(0, 1000), 0);
        RDUdpSocket tx;
        ASSERT_EQ(tx.sendTo(RDSocketAddress("127.0.0.1", localPort(rx.handle())), "x", 1), 1);
        EXPECT_EQ(rx.waitReadable(5, 0), 1);
    }
    for (int fd : fillers)
        ::close(fd);
    setrlimit(RLIMIT_NOFILE, &lim);
}

TEST(RDSocket, TimeoutsAreSecondsAndMicroseconds)
{
    TcpPair p;
    ASSERT_TRUE(p.open());
    EXPECT_FALSE(p.accepted->hasTimeouts());
    ASSERT_EQ(p.accepted->setTimeouts(0, 200000), 0);
    EXPECT_TRUE(p.accepted->hasTimeouts());
    timeval tv {};
    socklen_t len = sizeof(tv);
    ASSERT_EQ(getsockopt(p.accepted->handle(), SOL_SOCKET, SO_RCVTIMEO, &tv, &len), 0);
    EXPECT_EQ(tv.tv_sec, 0);
    EXPECT_EQ(tv.tv_usec, 200000);
    ASSERT_EQ(getsockopt(p.accepted->handle(), SOL_SOCKET, SO_SNDTIMEO, &tv, &len), 0);
    EXPECT_EQ(tv.tv_usec, 200000);

    // A receive that times out fails but keeps the connection.
    char buf[4];
    EXPECT_EQ(p.accepted->recv(buf, sizeof(buf)), -1);
    EXPECT_TRUE(p.accepted->lastError() == EAGAIN || p.accepted->lastError() == EWOULDBLOCK);
    EXPECT_TRUE(p.accepted->isValid());

    // Time-outs set before connect are applied once connected.
    RDTcpSocket c;
    ASSERT_EQ(c.setTimeouts(2, 500000), 0);
    ASSERT_GE(c.connect(RDSocketAddress("127.0.0.1", p.server.address().port)), 0);
    std::unique_ptr<RDTcpSocket> a(p.server.accept());
    ASSERT_EQ(getsockopt(c.handle(), SOL_SOCKET, SO_RCVTIMEO, &tv, &len), 0);
    EXPECT_EQ(tv.tv_sec, 2);
    EXPECT_EQ(tv.tv_usec, 500000);
}

TEST(RDSocket, PortProbes)
{
    RDTcpSocketServer server;
    ASSERT_GE(server.listen(RDSocketAddress("0.0.0.0", 0)), 0);
    const uint16_t port = static_cast<uint16_t>(server.address().port);
    EXPECT_FALSE(isTcpPortAvailable(port));

    // Leave a connection in TIME_WAIT on the server's port: the side that
    // closes first keeps it. The port is still free to listen on.
    {
        RDTcpSocket c;
        ASSERT_GE(c.connect(RDSocketAddress("127.0.0.1", port)), 0);
        std::unique_ptr<RDTcpSocket> a(server.accept());
        ASSERT_TRUE(a);
        a->close();
        char b;
        EXPECT_EQ(c.recv(&b, 1), 0);
    }
    server.close();
    EXPECT_TRUE(isTcpPortAvailable(port));

    RDUdpSocket udp;
    ASSERT_EQ(udp.bind(RDSocketAddress("0.0.0.0", 0)), 0);
    const uint16_t udpPort = static_cast<uint16_t>(localPort(udp.handle()));
    EXPECT_FALSE(isUdpPortAvailable(udpPort));
    udp.close();
    EXPECT_TRUE(isUdpPortAvailable(udpPort));
}

TEST(RDSocket, ManyConnectionsLeakNoDescriptors)
{
    const int before = PaTest::openFdCount();
    {
        RDTcpSocketServer server;
        ASSERT_GE(server.listen(RDSocketAddress("127.0.0.1", 0)), 0);
        ASSERT_GE(server.listen(RDSocketAddress("127.0.0.1", 0)), 0) << "a second listen replaces the first";
        const int port = server.address().port;
        for (int i = 0; i < 200; ++i) {
            auto c = std::make_unique<RDTcpSocket>();
            ASSERT_GE(c->connect(RDSocketAddress("127.0.0.1", port)), 0);
            std::unique_ptr<RDTcpSocket> a(server.accept());
            ASSERT_TRUE(a);
            ASSERT_EQ(c->send("ping", 4), 4);
            char buf[4];
            ASSERT_EQ(a->recv(buf, 4), 4);
            // Alternate who closes and how: close(), closeHandle(), destructor.
            if (i % 3 == 0)
                c->close();
            else if (i % 3 == 1)
                c->closeHandle();
            else
                c.reset();
            EXPECT_EQ(a->recv(buf, 4), 0);
            if (i % 2 == 0)
                a.reset();
            else
                a->closeHandle();
        }
        for (int i = 0; i < 50; ++i) {
            RDUdpSocket u;
            ASSERT_EQ(u.bind(RDSocketAddress("127.0.0.1", 0)), 0);
            RDTcpSocket failed;
            EXPECT_EQ(failed.connect(RDSocketAddress("127.0.0.1", 0)), -1);
        }
        RDTcpSocket unresolved;
        EXPECT_EQ(unresolved.bind(RDSocketAddress(kUnresolvable, 0)), -1);
    }
    EXPECT_EQ(PaTest::openFdCount(), before);
}
