// The P2P library on loopback: a device logs in to an in-process rendezvous
// service, clients find it by uid, and the two sides exchange messages and
// audio through losses, reordering, hostile datagrams and vanishing peers.
#include "P2PClient.h"
#include "P2PEndpoint.h"
#include "P2PPacket.h"
#include "P2PRendezvous.h"
#include "av_api.h"
#include "iotc_api.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <future>
#include <memory>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

const unsigned char kLoginInfo[16] = {16, 0, 0, 0, 0, 0, 0, 0, '7', '3', '5', '1', '9', '0', '4', '6'};
const unsigned char kFrameInfo[16] = {137, 0, 2};
const char *const kUid = "PA-DEVICE-0001";

using Clock = std::chrono::steady_clock;

double secondsSince(Clock::time_point t)
{
    return std::chrono::duration<double>(Clock::now() - t).count();
}

// A peer on a plain UDP socket that writes datagrams by hand.
class RawPeer
{
public:
    explicit RawPeer(uint32_t address = INADDR_LOOPBACK)
    {
        m_fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(address);
        ::bind(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a);
    }
    ~RawPeer() { ::close(m_fd); }
    void send(const std::vector<uint8_t> &bytes, const sockaddr_in &to)
    {
        ::sendto(m_fd, bytes.data(), bytes.size(), 0, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    }
    unsigned short port() const
    {
        sockaddr_in a{};
        socklen_t len = sizeof a;
        ::getsockname(m_fd, reinterpret_cast<sockaddr *>(&a), &len);
        return ntohs(a.sin_port);
    }
    // Next well-formed datagram of `type`, within the wait; `from` gets its
    // sender.
    bool receive(uint8_t type, P2PPacket &out, int timeoutMs = 3000, sockaddr_in *from = nullptr)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        std::vector<uint8_t> buf(2048);
        while (Clock::now() < end) {
            pollfd p{m_fd, POLLIN, 0};
            if (::poll(&p, 1, 50) <= 0)
                continue;
            sockaddr_in sender{};
            socklen_t len = sizeof sender;
            const ssize_t n =
                ::recvfrom(m_fd, buf.data(), buf.size(), 0, reinterpret_cast<sockaddr *>(&sender), &len);
            if (from)
                *from = sender;
            if (n > 0 && P2PPacket::parse(buf.data(), size_t(n), out) && out.type == type)
                return true;
        }
        return false;
    }

private:
    int m_fd = -1;
};

class P2PLibraryTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(m_rendezvous.start("127.0.0.1", 0, "73519046"));
        ASSERT_EQ(IOTC_Set_Rendezvous_Address("127.0.0.1", m_rendezvous.port()), IOTC_OK);
    }

    void TearDown() override
    {
        avDeInitialize();
        IOTC_DeInitialize();
        P2PEndpoint::setFaultsForTesting(P2PEndpoint::Faults());
        P2PEndpoint::setPeerTimeout(10.0);
    }

    void loginDevice(unsigned maxSessions = 3)
    {
        IOTC_Initialize2(0);
        IOTC_Set_Max_Session_Number(maxSessions);
        avInitialize(32);
        ASSERT_EQ(IOTC_Device_LoginEx(kUid, kLoginInfo), IOTC_OK);
    }

    std::unique_ptr<P2PClient> newClient()
    {
        auto c = std::make_unique<P2PClient>();
        c->setRendezvous("127.0.0.1", m_rendezvous.port());
        return c;
    }

    // Waits (bounded) for the next session the device accepts.
    static int acceptSession(int timeoutMs = 5000)
    {
        const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (Clock::now() < end) {
            const int s = IOTC_Listen(100);
            if (s >= 0)
                return s;
            if (s != IOTC_ERR_TIMEOUT && s != IOTC_ERR_SESSION_REFUSED)
                return s;
        }
        return IOTC_ERR_TIMEOUT;
    }

    static AVServStartInConfig startRecord(int session, unsigned seconds = 10)
    {
        AVServStartInConfig in{};
        in.size = sizeof in;
        in.session = session;
        in.channel = uint8_t(IOTC_Session_Get_Free_Channel(session));
        in.timeoutSeconds = seconds;
        in.resend = 1;
        in.serverType = 1;
        return in;
    }

    static int startServer(const AVServStartInConfig &in)
    {
        AVServStartOutConfig out{};
        out.size = sizeof out;
        return avServStartEx(&in, &out);
    }

    // A client connected and started on a new session; the device's AV index.
    int connectAndStart(P2PClient &client)
    {
        if (client.connect(kUid) != 0)
            return -1;
        const int session = acceptSession();
        if (session < 0)
            return -1;
        auto av = std::async(std::launch::async, [session] { return startServer(startRecord(session)); });
        if (client.startAv("admin", "secret") != 0)
            return -1;
        return av.get();
    }

    P2PRendezvous m_rendezvous;
};

std::string receiveText(int av, unsigned *type, int timeoutMs = 5000)
{
    std::vector<char> buf(131068);
    const auto end = Clock::now() + std::chrono::milliseconds(timeoutMs);
    while (Clock::now() < end) {
        const int n = avRecvIOCtrl(av, type, buf.data(), int(buf.size()), 10);
        if (n > 0)
            return std::string(buf.data(), size_t(n));
        if (n != AV_ERR_TIMEOUT)
            return "error " + std::to_string(n);
    }
    return "timeout";
}

std::string clientText(P2PClient &c, unsigned *type, int timeoutMs = 5000)
{
    std::vector<char> buf(131068);
    const int n = c.recvIOCtrl(type, buf.data(), int(buf.size()), timeoutMs);
    return n >= 0 ? std::string(buf.data(), size_t(n)) : "error " + std::to_string(n);
}

} // namespace

TEST_F(P2PLibraryTest, ClientFindsTheDeviceByUidAndBothSidesExchangeMessagesAndAudio)
{
    loginDevice();
    auto client = newClient();
    const int av = connectAndStart(*client);
    ASSERT_GE(av, 0);

    unsigned type = 0;
    ASSERT_EQ(client->sendIOCtrl(2048, "{\"method\":\"GetDeviceInfo\",\"id\":1}", 33), 0);
    EXPECT_EQ(receiveText(av, &type), "{\"method\":\"GetDeviceInfo\",\"id\":1}");
    EXPECT_EQ(type, 2048u);

    // A message many datagrams long comes out whole, bytes in order.
    std::string big(100000, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = char('a' + i % 26);
    ASSERT_EQ(avSendIOCtrl(av, 2048, big.data(), int(big.size())), 0);
    EXPECT_EQ(clientText(*client, &type), big);

    // Audio both ways, with its frame information and rising numbers.
    const std::string tone(320, 'T');
    ASSERT_EQ(avSendAudioData(av, tone.data(), int(tone.size()), kFrameInfo, 16), 0);
    std::vector<char> buf(1280);
    unsigned char info[16] = {};
    unsigned frameNo = 0;
    ASSERT_EQ(client->recvAudio(buf.data(), 1280, info, &frameNo, 3000), 320);
    EXPECT_EQ(std::string(buf.data(), 320), tone);
    EXPECT_EQ(std::memcmp(info, kFrameInfo, 16), 0);
    for (int i = 0; i < 3; ++i)
        ASSERT_EQ(client->sendAudio("abcd", 4, kFrameInfo), 0);
    unsigned last = 0;
    for (int i = 0; i < 3; ++i) {
        int n = AV_ERR_TIMEOUT;
        for (int tries = 0; tries < 300 && n == AV_ERR_TIMEOUT; ++tries)
            n = avRecvAudioData(av, buf.data(), 1280, reinterpret_cast<char *>(info), 16, &frameNo);
        ASSERT_EQ(n, 4);
        EXPECT_GT(frameNo, last);
        last = frameNo;
    }
    // Wrong arguments are refused, not acted on.
    EXPECT_EQ(avSendAudioData(av, buf.data(), 1281, kFrameInfo, 16), AV_ERR_INVALID_ARG);
    EXPECT_EQ(avSendAudioData(av, buf.data(), 10, kFrameInfo, 8), AV_ERR_INVALID_ARG);
    EXPECT_EQ(avRecvIOCtrl(av + 1, &type, buf.data(), 1280, 10), AV_ERR_INVALID_INDEX);
}

TEST_F(P2PLibraryTest, LoginsAndLookupsThatMustFail)
{
    IOTC_Initialize2(0);
    avInitialize(32);
    unsigned char wrongKey[16];
    std::memcpy(wrongKey, kLoginInfo, 16);
    wrongKey[15] = 'X';
    unsigned char wrongSize[16];
    std::memcpy(wrongSize, kLoginInfo, 16);
    wrongSize[0] = 12;
    EXPECT_EQ(IOTC_Device_LoginEx("", kLoginInfo), IOTC_ERR_LOGIN_REFUSED);
    EXPECT_EQ(IOTC_Device_LoginEx(kUid, wrongKey), IOTC_ERR_LOGIN_REFUSED);
    EXPECT_EQ(IOTC_Device_LoginEx(kUid, wrongSize), IOTC_ERR_INVALID_ARG);
    EXPECT_EQ(IOTC_Listen(10), IOTC_ERR_NOT_LOGGED_IN);
    EXPECT_EQ(m_rendezvous.deviceCount(), 0);

    // A client asking for a uid nobody logged in under is told so.
    ASSERT_EQ(IOTC_Device_LoginEx(kUid, kLoginInfo), IOTC_OK);
    auto client = newClient();
    EXPECT_EQ(client->connect("PA-DEVICE-9999"), IOTC_ERR_DEVICE_NOT_FOUND);
    EXPECT_EQ(client->connect(kUid), 0);

    // No service at the address: the login gives up within its wait.
    IOTC_DeInitialize();
    m_rendezvous.stop();
    IOTC_Initialize2(0);
    const auto t = Clock::now();
    EXPECT_EQ(IOTC_Device_LoginEx(kUid, kLoginInfo), IOTC_ERR_RENDEZVOUS_UNREACHABLE);
    EXPECT_LT(secondsSince(t), 5.0);
}

// Every device knows the login key, so the key alone must not let another
// host take over a uid that is logged in: apps would then connect to it and
// hand it their commands and passwords. The device itself, logging in again
// from its own address on a new port, keeps the uid.
TEST_F(P2PLibraryTest, ALoggedInUidCannotBeTakenOverFromAnotherHost)
{
    loginDevice();
    RawPeer intruder(INADDR_LOOPBACK + 1);
    P2PPacket login;
    login.type = P2PPacket::Login;
    login.connection = 77;
    login.uid = kUid;
    login.info.assign(kLoginInfo, kLoginInfo + 16);
    sockaddr_in service{};
    service.sin_family = AF_INET;
    service.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    service.sin_port = htons(m_rendezvous.port());
    intruder.send(login.encode(), service);
    P2PPacket reply;
    ASSERT_TRUE(intruder.receive(P2PPacket::LoginReply, reply));
    EXPECT_EQ(reply.result, IOTC_ERR_LOGIN_REFUSED);
    auto client = newClient();
    ASSERT_EQ(client->connect(kUid), 0);
    EXPECT_GE(acceptSession(), 0);

    IOTC_DeInitialize();
    loginDevice();
    auto again = newClient();
    ASSERT_EQ(again->connect(kUid), 0);
    EXPECT_GE(acceptSession(), 0);
}

// A host that learns a lookup's nonce (by watching the network) cannot
// answer it in the service's place and send the app to itself.
TEST_F(P2PLibraryTest, ALookupAnswerFromAnywhereButTheServiceIsIgnored)
{
    RawPeer service;
    RawPeer intruder(INADDR_LOOPBACK + 1);
    P2PClient client;
    client.setRendezvous("127.0.0.1", service.port());
    auto result = std::async(std::launch::async, [&] { return client.connect(kUid, 3000); });
    P2PPacket lookup;
    sockaddr_in app{};
    ASSERT_TRUE(service.receive(P2PPacket::Lookup, lookup, 3000, &app));
    P2PPacket forged;
    forged.type = P2PPacket::LookupReply;
    forged.connection = lookup.connection;
    forged.result = 0;
    forged.address = INADDR_LOOPBACK + 1;
    forged.port = intruder.port();
    intruder.send(forged.encode(), app);
    P2PPacket connect;
    EXPECT_FALSE(intruder.receive(P2PPacket::Connect, connect, 1000));
    EXPECT_EQ(result.get(), IOTC_ERR_RENDEZVOUS_UNREACHABLE);
}

TEST_F(P2PLibraryTest, EveryMessageArrivesOnceAndInOrderThroughLossAndReordering)
{
    loginDevice();
    auto client = newClient();
    const int av = connectAndStart(*client);
    ASSERT_GE(av, 0);
    P2PEndpoint::Faults faults;
    faults.loss = 0.05;
    faults.reorder = 0.05;
    faults.seed = 17;
    P2PEndpoint::setFaultsForTesting(faults);

    std::mt19937 random(5);
    std::vector<std::string> sent;
    for (int i = 0; i < 150; ++i) {
        // Sizes from a few bytes to several datagrams.
        std::string m = std::to_string(i) + ":" + std::string(random() % 4000, char('A' + i % 26));
        sent.push_back(m);
    }
    auto deviceSide = std::async(std::launch::async, [&] {
        for (const std::string &m : sent)
            avSendIOCtrl(av, 2048, m.data(), int(m.size()));
        std::vector<std::string> got;
        unsigned type;
        for (size_t i = 0; i < sent.size(); ++i)
            got.push_back(receiveText(av, &type, 20000));
        return got;
    });
    for (const std::string &m : sent)
        ASSERT_EQ(client->sendIOCtrl(2048, m.data(), int(m.size())), 0);
    std::vector<std::string> atClient;
    unsigned type;
    for (size_t i = 0; i < sent.size(); ++i)
        atClient.push_back(clientText(*client, &type, 20000));
    EXPECT_EQ(atClient, sent);
    EXPECT_EQ(deviceSide.get(), sent);
}

TEST_F(P2PLibraryTest, AFullSessionTableTurnsFurtherConnectionsAway)
{
    loginDevice(2);
    auto first = newClient();
    auto second = newClient();
    ASSERT_EQ(first->connect(kUid), 0);
    ASSERT_EQ(second->connect(kUid), 0);
    const int a = acceptSession();
    const int b = acceptSession();
    ASSERT_GE(a, 0);
    ASSERT_GE(b, 0);
    EXPECT_NE(a, b);

    // A burst of connection attempts neither gets in nor grows the table.
    std::vector<std::unique_ptr<P2PClient>> flood;
    for (int i = 0; i < 10; ++i) {
        flood.push_back(newClient());
        EXPECT_EQ(flood.back()->connect(kUid, 2000), IOTC_ERR_DEVICE_BUSY);
    }
    EXPECT_EQ(IOTC_Listen(100), IOTC_ERR_SESSION_REFUSED);
    EXPECT_EQ(IOTC_Listen(50), IOTC_ERR_TIMEOUT);

    // A closed session frees its place.
    EXPECT_EQ(IOTC_Session_Close(a), IOTC_OK);
    EXPECT_EQ(IOTC_Session_Close(a), IOTC_ERR_INVALID_SESSION);
    auto third = newClient();
    EXPECT_EQ(third->connect(kUid), 0);
    EXPECT_GE(acceptSession(), 0);
}

TEST_F(P2PLibraryTest, ASessionEndsWhenThePeerClosesOrFallsSilent)
{
    P2PEndpoint::setPeerTimeout(1.0);
    loginDevice();
    struct Case {
        const char *name;
        bool vanish;
        int expected;
        double within;
    };
    for (const Case &c : {Case{"close", false, AV_ERR_REMOTE_CLOSED, 1.0}, Case{"vanish", true, AV_ERR_REMOTE_TIMEOUT, 3.0}}) {
        SCOPED_TRACE(c.name);
        auto client = newClient();
        const int av = connectAndStart(*client);
        ASSERT_GE(av, 0);
        const auto t = Clock::now();
        if (c.vanish)
            client->vanish();
        else
            client->close();
        unsigned type;
        std::vector<char> buf(64);
        int r = AV_ERR_TIMEOUT;
        while (r == AV_ERR_TIMEOUT && secondsSince(t) < 10)
            r = avRecvIOCtrl(av, &type, buf.data(), 64, 50);
        EXPECT_EQ(r, c.expected);
        EXPECT_LT(secondsSince(t), c.within);
        // The audio side reports the same end.
        unsigned frameNo;
        EXPECT_EQ(avRecvAudioData(av, buf.data(), 64, buf.data(), 16, &frameNo), c.expected);
        avServStop(av);
    }
}

TEST_F(P2PLibraryTest, AvStartEndsOnTimeoutOnExitAndOnARefusedPassword)
{
    loginDevice();
    auto client = newClient();
    ASSERT_EQ(client->connect(kUid), 0);
    const int session = acceptSession();
    ASSERT_GE(session, 0);

    auto t = Clock::now();
    EXPECT_EQ(startServer(startRecord(session, 1)), AV_ERR_START_TIMEOUT);
    EXPECT_GE(secondsSince(t), 0.9);

    AVServStartInConfig in = startRecord(session, 10);
    auto waiting = std::async(std::launch::async, [in] { return startServer(in); });
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    t = Clock::now();
    avServExit(session, in.channel);
    EXPECT_EQ(waiting.get(), AV_ERR_START_ABORTED);
    EXPECT_LT(secondsSince(t), 1.0);

    // The password check of the start record turns the client away.
    in.passwordCheck = [](const char *account, const char *password) {
        return std::strcmp(account, "admin") == 0 && std::strcmp(password, "secret") == 0 ? 0 : -1;
    };
    auto refused = std::async(std::launch::async, [in] { return startServer(in); });
    EXPECT_EQ(client->startAv("admin", "wrong"), AV_ERR_AUTH_REFUSED);
    EXPECT_EQ(refused.get(), AV_ERR_AUTH_REFUSED);
    auto accepted = std::async(std::launch::async, [in] { return startServer(in); });
    EXPECT_EQ(client->startAv("admin", "secret"), 0);
    EXPECT_GE(accepted.get(), 0);
}

TEST_F(P2PLibraryTest, AnIdleReceiveSleepsUntilDataOrTheEndOfItsServerOrSession)
{
    loginDevice();
    enum Event { Data, StopServer, CloseSession, ReleaseAv, ReleaseConnections };
    struct Case {
        const char *name;
        bool audio;
        Event event;
    };
    const Case cases[] = {
        {"message arrives", false, Data},          {"frame arrives", true, Data},
        {"message wait, server stopped", false, StopServer}, {"frame wait, server stopped", true, StopServer},
        {"message wait, session closed", false, CloseSession}, {"frame wait, session closed", true, CloseSession},
        {"message wait, AV released", false, ReleaseAv},       {"frame wait, AV released", true, ReleaseAv},
        // Last: it ends the login.
        {"frame wait, connection layer released", true, ReleaseConnections},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        auto client = newClient();
        ASSERT_EQ(client->connect(kUid), 0);
        const int session = acceptSession();
        ASSERT_GE(session, 0);
        auto started = std::async(std::launch::async, [session] { return startServer(startRecord(session)); });
        ASSERT_EQ(client->startAv("admin", "secret"), 0);
        const int av = started.get();
        ASSERT_GE(av, 0);

        auto received = std::async(std::launch::async, [&] {
            std::vector<char> buf(1280);
            char info[16];
            unsigned frameNo = 0, type = 0;
            return c.audio ? avRecvAudioData(av, buf.data(), 1280, info, 16, &frameNo)
                           : avRecvIOCtrl(av, &type, buf.data(), 1280, 5000);
        });
        // It waits, and does not come back to be asked again.
        EXPECT_EQ(received.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
        const auto t = Clock::now();
        switch (c.event) {
        case Data:
            if (c.audio)
                ASSERT_EQ(client->sendAudio("abcd", 4, kFrameInfo), 0);
            else
                ASSERT_EQ(client->sendIOCtrl(2048, "abcd", 4), 0);
            break;
        case StopServer:
            avServStop(av);
            break;
        case CloseSession:
            IOTC_Session_Close(session);
            break;
        case ReleaseAv:
            avDeInitialize();
            break;
        case ReleaseConnections:
            IOTC_DeInitialize();
            break;
        }
        ASSERT_EQ(received.wait_for(std::chrono::seconds(5)), std::future_status::ready);
        EXPECT_LT(secondsSince(t), 0.1);
        const int r = received.get();
        if (c.event == Data)
            EXPECT_EQ(r, 4);
        else
            EXPECT_EQ(r, AV_ERR_INVALID_INDEX);
        avServStop(av);
        IOTC_Session_Close(session);
        if (c.event == ReleaseAv)
            avInitialize(32);
    }
}

TEST_F(P2PLibraryTest, HostileDatagramsAreDroppedAndTheSessionGoesOn)
{
    loginDevice();
    sockaddr_in device{};
    {
        // The rendezvous service tells anyone where the device is.
        RawPeer asker;
        P2PPacket lookup;
        lookup.type = P2PPacket::Lookup;
        lookup.connection = 1;
        lookup.uid = kUid;
        sockaddr_in rv{};
        rv.sin_family = AF_INET;
        rv.sin_port = htons(m_rendezvous.port());
        rv.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        asker.send(lookup.encode(), rv);
        P2PPacket reply;
        ASSERT_TRUE(asker.receive(P2PPacket::LookupReply, reply));
        ASSERT_EQ(reply.result, 0);
        device.sin_family = AF_INET;
        device.sin_port = htons(reply.port);
        device.sin_addr.s_addr = htonl(reply.address);
    }
    // An app written by hand, so every datagram is under the test's control.
    RawPeer app;
    const uint32_t id = 0x12345678;
    P2PPacket connect;
    connect.type = P2PPacket::Connect;
    connect.connection = id;
    connect.uid = kUid;
    app.send(connect.encode(), device);
    P2PPacket reply;
    ASSERT_TRUE(app.receive(P2PPacket::ConnectReply, reply));
    ASSERT_EQ(reply.result, 0);
    const int session = acceptSession();
    ASSERT_GE(session, 0);
    auto start = std::async(std::launch::async, [session] { return startServer(startRecord(session)); });
    auto segment = [&](uint32_t seq, uint8_t kind, const std::string &text) {
        P2PPacket d;
        d.type = P2PPacket::Data;
        d.connection = id;
        d.seq = seq;
        d.kind = kind;
        d.ioType = 2048;
        d.flags = P2PPacket::First | P2PPacket::Last;
        d.total = uint32_t(text.size());
        d.payload.assign(text.begin(), text.end());
        return d.encode();
    };
    app.send(segment(1, P2PPacket::AvStart, std::string("admin\0secret", 12)), device);
    const int av = start.get();
    ASSERT_GE(av, 0);

    // Garbage of every size, a datagram larger than any the protocol sends,
    // and every prefix of a valid segment.
    std::mt19937 random(3);
    for (int i = 0; i < 200; ++i) {
        std::vector<uint8_t> junk(random() % 1600);
        for (auto &b : junk)
            b = uint8_t(random());
        app.send(junk, device);
    }
    app.send(std::vector<uint8_t>(60000, 0x4B), device);
    const std::vector<uint8_t> valid = segment(2, P2PPacket::IoCtrl, "{\"n\":1}");
    for (size_t n = 0; n < valid.size(); ++n)
        app.send(std::vector<uint8_t>(valid.begin(), valid.begin() + long(n)), device);
    // Another socket speaking on the session's id is not the peer.
    RawPeer intruder;
    intruder.send(segment(2, P2PPacket::IoCtrl, "{\"intruder\":1}"), device);

    // The flood may overflow the device's socket buffer on a busy machine,
    // as on a real network: the peer sends again until the device's
    // acknowledgement covers what it sent, as a real peer would.
    auto deliver = [&](const std::vector<std::vector<uint8_t>> &packets, uint32_t expected) {
        for (int attempt = 0; attempt < 40; ++attempt) {
            for (const auto &packet : packets)
                app.send(packet, device);
            P2PPacket ack;
            while (app.receive(P2PPacket::Ack, ack, 250)) {
                if (int32_t(ack.ack - expected) >= 0)
                    return true;
            }
        }
        return false;
    };
    ASSERT_TRUE(deliver({valid}, 3));
    // That acknowledgement shows the flood has been read: from here nothing
    // is lost, so the segment ahead of a gap goes once, and the device must
    // say it keeps it (acknowledgements of earlier copies may come first).
    app.send(valid, device); // a replay
    app.send(segment(4, P2PPacket::IoCtrl, "{\"n\":3}"), device); // ahead of a gap
    bool keptAhead = false;
    P2PPacket ack;
    while (!keptAhead && app.receive(P2PPacket::Ack, ack))
        keptAhead = ack.ack == 3 && (ack.ackBits & 1) != 0;
    ASSERT_TRUE(keptAhead) << "the segment ahead of the gap was not kept";
    ASSERT_TRUE(deliver({segment(3, P2PPacket::IoCtrl, "{\"n\":2}")}, 5));
    unsigned type;
    EXPECT_EQ(receiveText(av, &type), "{\"n\":1}");
    EXPECT_EQ(receiveText(av, &type), "{\"n\":2}");
    EXPECT_EQ(receiveText(av, &type), "{\"n\":3}");
    std::vector<char> buf(64);
    EXPECT_EQ(avRecvIOCtrl(av, &type, buf.data(), 64, 200), AV_ERR_TIMEOUT);

    // A message larger than the reader's buffer is passed over; the next
    // one still comes.
    app.send(segment(5, P2PPacket::IoCtrl, std::string(100, 'x')), device);
    app.send(segment(6, P2PPacket::IoCtrl, "ok"), device);
    int r = AV_ERR_TIMEOUT;
    for (int i = 0; i < 100 && r == AV_ERR_TIMEOUT; ++i)
        r = avRecvIOCtrl(av, &type, buf.data(), 64, 20);
    EXPECT_EQ(r, AV_ERR_BUFFER_TOO_SMALL);
    EXPECT_EQ(receiveText(av, &type), "ok");
}
