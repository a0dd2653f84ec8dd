#include "KelTestSupport.h"
#include "TestSupport.h"
#include "WSClient.h"
#include "WSFrame.h"
#include "WSFrameParser.h"
#include "WSServer.h"

#include "RDSocketAddress.h"

#include <QDir>
#include <QElapsedTimer>
#include <QThread>
#include <QFile>
#include <QWebSocket>

#include <gtest/gtest.h>

#include <future>
#include <thread>

using namespace KelTest;

namespace {

class WSServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        server.setAddress(RDSocketAddress("127.0.0.1", 0));
        server.addObserver(&observer);
    }
    void TearDown() override { server.stop(); }

    bool startServer()
    {
        server.setSessionLimits(limits);
        if (!server.start())
            return false;
        port = server.listenPort();
        return port > 0;
    }

    std::unique_ptr<QWebSocket> connectClient()
    {
        auto ws = std::make_unique<QWebSocket>();
        ws->open(QUrl(QStringLiteral("ws://127.0.0.1:%1/").arg(port)));
        const bool ok = PaTest::waitUntil([&] { return ws->state() == QAbstractSocket::ConnectedState; });
        EXPECT_TRUE(ok);
        return ws;
    }

    int port = 0;
    WSSessionLimits limits;
    WSServer server;
    RecordingObserver observer;
};

std::string str(const QByteArray &b)
{
    return b.toStdString();
}

} // namespace

TEST_F(WSServerTest, QWebSocketTextBinaryAudioAndEventsBothWays)
{
    observer.onData = [](KelServer *, std::shared_ptr<KelClient> session, const std::string &text) {
        session->sendText("reply:" + text);
    };
    ASSERT_TRUE(startServer());
    EXPECT_TRUE(server.isStarted());
    EXPECT_TRUE(server.isListening());

    auto a = connectClient();
    auto b = connectClient();
    ASSERT_TRUE(PaTest::waitUntil([&] { return observer.connected() == 2; }));

    QStringList textA, textB;
    QList<QByteArray> binA;
    QObject::connect(a.get(), &QWebSocket::textMessageReceived, [&](const QString &m) { textA << m; });
    QObject::connect(b.get(), &QWebSocket::textMessageReceived, [&](const QString &m) { textB << m; });
    QObject::connect(a.get(), &QWebSocket::binaryMessageReceived, [&](const QByteArray &m) { binA << m; });

    // Text request in, reply out on the same session.
    a->sendTextMessage(QStringLiteral("{\"method\":\"GetGroup\"}"));
    ASSERT_TRUE(PaTest::waitUntil([&] { return textA.size() == 1; }));
    EXPECT_EQ(textA.at(0), QStringLiteral("reply:{\"method\":\"GetGroup\"}"));

    // A binary message whose first byte is 0 carries JSON as well.
    b->sendBinaryMessage(QByteArray("\0{\"x\":1}", 8));
    ASSERT_TRUE(PaTest::waitUntil([&] { return textB.size() == 1; }));
    EXPECT_EQ(textB.at(0), QStringLiteral("reply:{\"x\":1}"));

    // Fragmented text arrives as one message.
    a->setOutgoingFrameSize(7);
    const QString longText(100, QLatin1Char('f'));
    a->sendTextMessage(longText);
    ASSERT_TRUE(PaTest::waitUntil([&] { return textA.size() == 2; }));
    EXPECT_EQ(textA.at(1), QStringLiteral("reply:") + longText);
    a->setOutgoingFrameSize(512 * 1024);

    // An event reaches every session.
    const std::string event = "{\"event\":\"GroupStarted\"}";
    server.send(event.data(), int(event.size()));
    ASSERT_TRUE(PaTest::waitUntil([&] { return textA.size() == 3 && textB.size() == 2; }));
    EXPECT_EQ(str(textA.at(2).toUtf8()), event);
    EXPECT_EQ(str(textB.at(1).toUtf8()), event);

    // App audio: byte 1, the 8-byte header, 320 payload bytes.
    QByteArray audio(1, '\x01');
    audio += QByteArray("\x00\x01\x1F\x40\x00\x00\x00\x07", 8);
    audio += QByteArray(320, '\x55');
    a->sendBinaryMessage(audio);
    std::shared_ptr<KelClient> sessionA;
    ASSERT_TRUE(PaTest::waitUntil([&] {
        for (auto &s : observer.sessions()) {
            KelAudioFrame f;
            s->takeAudio(f);
            if (f.length > 0) {
                EXPECT_EQ(f.length, 320);
                EXPECT_EQ(f.sampleRate, 8000u);
                EXPECT_EQ(f.timestamp, 7u);
                EXPECT_EQ(f.channels, 1u);
                sessionA = s;
                return true;
            }
        }
        return false;
    }));

    // Audio to the app.
    KelAudioFrame out;
    out.channels = 1;
    out.sampleRate = 16000;
    out.timestamp = 99;
    out.data.assign(160, 0x22);
    out.length = 160;
    sessionA->queueAudio(out);
    ASSERT_TRUE(PaTest::waitUntil([&] { return binA.size() == 1; }));
    ASSERT_EQ(binA.at(0).size(), 1 + 8 + 160);
    EXPECT_EQ(binA.at(0).left(9), QByteArray("\x01\x00\x01\x3E\x80\x00\x00\x00\x63", 9));
}

TEST_F(WSServerTest, PingPongAndCloseWithQWebSocket)
{
    ASSERT_TRUE(startServer());
    auto a = connectClient();
    auto b = connectClient();
    ASSERT_TRUE(PaTest::waitUntil([&] { return observer.connected() == 2; }));

    QList<QByteArray> pongs;
    QObject::connect(a.get(), &QWebSocket::pong, [&](quint64, const QByteArray &p) { pongs << p; });
    a->ping("abc");
    a->ping(); // a ping without payload is not acted on
    a->ping("def");
    // Pongs keep the order of the pings, so once the last ping's pong is in,
    // a pong for the empty one would have come before it.
    ASSERT_TRUE(PaTest::waitUntil([&] { return pongs.size() >= 2; }));
    EXPECT_EQ(pongs, (QList<QByteArray>{QByteArray("\r\n"), QByteArray("\r\n")}));

    // A close from the app ends the session; the server answers the close
    // and announces the session as closed.
    a->close(QWebSocketProtocol::CloseCodeNormal, QStringLiteral("bye"));
    ASSERT_TRUE(PaTest::waitUntil([&] { return a->state() == QAbstractSocket::UnconnectedState; }));
    ASSERT_TRUE(PaTest::waitUntil([&] { return observer.closed() == 1 && server.sessionCount() == 1; }));

    // Stopping the server closes the rest, telling them it goes away.
    QWebSocketProtocol::CloseCode closeCode = QWebSocketProtocol::CloseCodeNormal;
    QObject::connect(b.get(), &QWebSocket::disconnected, [&] { closeCode = b->closeCode(); });
    server.stop();
    EXPECT_FALSE(server.isStarted());
    EXPECT_FALSE(server.isListening());
    EXPECT_EQ(observer.closed(), 2);
    EXPECT_TRUE(PaTest::waitUntil([&] { return b->state() == QAbstractSocket::UnconnectedState; }));
    EXPECT_EQ(closeCode, QWebSocketProtocol::CloseCodeGoingAway);
}

TEST_F(WSServerTest, BadFramesGetACloseWithTheRightStatus)
{
    limits.maxMessageSize = 4096;
    ASSERT_TRUE(startServer());
    struct Case {
        const char *name;
        std::string wire;
        uint16_t code;
    };
    std::string len17m = std::string("\x82\xFF", 2) + std::string("\0\0\0\0\x01\x10\0\0", 8) + "abcd";
    std::string lenTop = std::string("\x82\xFF", 2) + std::string("\x80\0\0\0\0\0\0\x10", 8) + "abcd";
    const Case cases[] = {
        {"unmasked frame", std::string("\x81\x02hi", 4), WSFrameParser::CloseProtocolError},
        {"64-bit length of 17 MiB", len17m, WSFrameParser::CloseTooBig},
        {"64-bit length with top bit", lenTop, WSFrameParser::CloseProtocolError},
        {"bad UTF-8 text", clientFrame(WSFrame::Text, "ok\xFF\xFE"), WSFrameParser::CloseInvalidPayload},
        {"fragments past the cap",
         clientFrame(WSFrame::Binary, std::string(3000, 'a'), false) +
             clientFrame(WSFrame::Continuation, std::string(3000, 'b'), false),
         WSFrameParser::CloseTooBig},
    };
    for (const Case &c : cases) {
        RawClient raw(port);
        ASSERT_TRUE(raw.handshake()) << c.name;
        ASSERT_TRUE(raw.sendAll(c.wire)) << c.name;
        ASSERT_TRUE(raw.waitClosed()) << c.name;
        int opcode = -1;
        std::string payload;
        ASSERT_TRUE(firstFrame(raw.buffer, opcode, payload)) << c.name;
        EXPECT_EQ(opcode, WSFrame::Close) << c.name;
        ASSERT_EQ(payload.size(), 2u) << c.name;
        EXPECT_EQ((uint8_t(payload[0]) << 8) | uint8_t(payload[1]), c.code) << c.name;
    }
    EXPECT_TRUE(observer.messages().empty());
    // The server is still serving.
    auto ws = connectClient();
    EXPECT_EQ(ws->state(), QAbstractSocket::ConnectedState);
}

TEST_F(WSServerTest, HandshakeRefusalsAndTimeouts)
{
    limits.handshakeTimeout = 0.3;
    limits.idleTimeout = 0.5;
    ASSERT_TRUE(startServer());
    const std::string key = "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
    const std::string refused[] = {
        "GET / HTTP/1.1\r\nUpgrade: websocket\r\nConnection: keep-alive, Upgrade\r\n" + key,
        "GET / HTTP/1.1\r\nupgrade: websocket\r\nconnection: Upgrade\r\n" + key,
        "GET / HTTP/1.1\r\nConnection: Upgrade\r\n" + key,
        "GET / HTTP/1.1\r\nX-Filler: " + std::string(20000, 'x'), // a head that never ends
        "",                                                           // silence: handshake time-out
    };
    for (const std::string &req : refused) {
        RawClient raw(port);
        ASSERT_TRUE(raw.isConnected());
        raw.sendAll(req);
        EXPECT_TRUE(raw.waitClosed()) << req.substr(0, 60);
        EXPECT_EQ(raw.buffer.find("101"), std::string::npos) << req.substr(0, 60);
    }

    // Accept value of RFC 6455 section 1.3, and the idle time-out afterwards.
    RawClient raw(port);
    ASSERT_TRUE(raw.sendAll("GET / HTTP/1.1\r\nUpgrade: WebSocket\r\nConnection: upgrade\r\n" + key));
    ASSERT_TRUE(raw.readUntil([](const std::string &b) { return b.find("\r\n\r\n") != std::string::npos; }));
    EXPECT_NE(raw.buffer.find("Sec-WebSocket-Accept: s3pPLMBiTxaQ9kYGzzhZRbK+xOo=\r\n"), std::string::npos);
    raw.buffer.erase(0, raw.buffer.find("\r\n\r\n") + 4);
    ASSERT_TRUE(raw.waitClosed());
    int opcode = -1;
    std::string payload;
    ASSERT_TRUE(firstFrame(raw.buffer, opcode, payload));
    EXPECT_EQ(opcode, WSFrame::Close);
    ASSERT_TRUE(PaTest::waitUntil([&] { return server.sessionCount() == 0; }));
}

TEST_F(WSServerTest, SessionCapTurnsAwayExtraConnections)
{
    server.setMaxSessions(3);
    ASSERT_TRUE(startServer());
    std::vector<std::unique_ptr<QWebSocket>> clients;
    for (int i = 0; i < 3; ++i)
        clients.push_back(connectClient());
    ASSERT_TRUE(PaTest::waitUntil([&] { return server.sessionCount() == 3; }));

    std::vector<std::unique_ptr<RawClient>> extra;
    for (int i = 0; i < 20; ++i) {
        extra.push_back(std::make_unique<RawClient>(port));
        extra.back()->handshake();
    }
    for (auto &r : extra) {
        EXPECT_TRUE(r->waitClosed());
        EXPECT_EQ(r->buffer.compare(0, 12, "HTTP/1.1 503"), 0);
    }
    EXPECT_EQ(server.sessionCount(), 3);

    // A slot freed by a client that leaves is taken by the next one.
    clients[0]->close();
    ASSERT_TRUE(PaTest::waitUntil([&] { return server.sessionCount() == 2; }));
    auto again = connectClient();
    EXPECT_EQ(again->state(), QAbstractSocket::ConnectedState);
}

TEST_F(WSServerTest, SessionThatStopsReadingIsClosedNotBuffered)
{
    limits.maxQueuedMessages = 64;
    limits.maxQueuedBytes = 1024 * 1024;
    ASSERT_TRUE(startServer());
    RawClient stuck(port, 4096);
    ASSERT_TRUE(stuck.handshake());
    auto live = connectClient();
    int liveCount = 0;
    QObject::connect(live.get(), &QWebSocket::textMessageReceived, [&](const QString &) { ++liveCount; });
    ASSERT_TRUE(PaTest::waitUntil([&] { return server.sessionCount() == 2; }));

    // Up to 2000 events of 32 KiB (64 MiB in all) while one peer reads nothing.
    const std::string event(32 * 1024, 'e');
    int sent = 0;
    ASSERT_TRUE(PaTest::waitUntil(
        [&] {
            // Paced by the reading peer, so only the stuck one falls behind.
            if (sent - liveCount < 20) {
                for (int i = 0; i < 10 && sent < 2000; ++i, ++sent)
                    server.send(event.data(), int(event.size()));
            }
            return observer.closed() == 1;
        },
        20000));
    EXPECT_TRUE(stuck.waitClosed());
    EXPECT_EQ(server.sessionCount(), 1);
    // The reading peer keeps its session and gets everything it was sent.
    const int target = sent;
    EXPECT_TRUE(PaTest::waitUntil([&] { return liveCount == target; }, 20000)) << liveCount << "/" << target;
    EXPECT_EQ(live->state(), QAbstractSocket::ConnectedState);
}

TEST_F(WSServerTest, StopWhileARequestSendsEventsNeverDeadlocks)
{
    // A request handler that answers with an event to every session, as a
    // zone start does; stop() runs while handlers are inside the server.
    std::atomic<int> inHandler{0};
    observer.onData = [&](KelServer *srv, std::shared_ptr<KelClient> session, const std::string &) {
        ++inHandler;
        const std::string ev = "{\"event\":\"GroupStarted\"}";
        for (int i = 0; i < 20; ++i) {
            srv->send(ev.data(), int(ev.size()));
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        session->sendText("{\"result\":0}");
    };
    for (int round = 0; round < 200; ++round) {
        ASSERT_TRUE(startServer()) << round;
        RawClient c1(port), c2(port);
        ASSERT_TRUE(c1.handshake() && c2.handshake()) << round;
        const int before = inHandler;
        c1.sendAll(clientFrame(WSFrame::Text, "{\"method\":\"StartGroup\"}"));
        c2.sendAll(clientFrame(WSFrame::Text, "{\"method\":\"StartGroup\"}"));
        if (round % 2 == 0) {
            ASSERT_TRUE(PaTest::waitUntil([&] { return inHandler > before; })) << round;
        }
        auto stopped = std::async(std::launch::async, [&] { server.stop(); });
        ASSERT_EQ(stopped.wait_for(std::chrono::seconds(10)), std::future_status::ready) << "deadlock in round " << round;
        EXPECT_EQ(server.sessionCount(), 0);
    }
}

TEST_F(WSServerTest, EventsSkipSessionsThatHaveNotLoggedIn)
{
    server.setAuth(1, "admin", "21232f297a57a5a743894a0e4a801fc3");
    ASSERT_TRUE(startServer());
    EXPECT_FALSE(server.hasRecipients());
    // Sessions are announced on accept, so connect one after the other.
    RawClient anon(port);
    ASSERT_TRUE(anon.handshake());
    ASSERT_TRUE(PaTest::waitUntil([&] { return observer.sessions().size() == 1; }));
    auto anonSession = observer.sessions().at(0);
    EXPECT_FALSE(server.hasRecipients()) << "nobody has logged in";
    RawClient member(port);
    ASSERT_TRUE(member.handshake());
    ASSERT_TRUE(PaTest::waitUntil([&] { return observer.sessions().size() == 2; }));
    auto memberSession = observer.sessions().at(1);
    memberSession->setAuthorized(true);
    EXPECT_TRUE(server.hasRecipients());

    const std::string ev = "{\"event\":\"devicesStatusChanged\"}";
    server.send(ev.data(), int(ev.size()));
    int op = -1;
    std::string payload;
    ASSERT_TRUE(member.readUntil([&](const std::string &b) { return firstFrame(b, op, payload); }));
    EXPECT_EQ(payload, ev);

    // Frames on one connection keep their order: when the direct message
    // arrives first, the event was never queued for this session.
    anonSession->sendText("direct");
    ASSERT_TRUE(anon.readUntil([&](const std::string &b) { return firstFrame(b, op, payload); }));
    EXPECT_EQ(payload, "direct");

    // New credentials end every login; unchanged ones keep them.
    server.setAuth(1, "admin", "21232f297a57a5a743894a0e4a801fc3");
    EXPECT_TRUE(memberSession->isAuthorized());
    server.setAuth(1, "admin", "5f4dcc3b5aa765d61d8327deb882cf99");
    EXPECT_FALSE(memberSession->isAuthorized());
    EXPECT_FALSE(server.hasRecipients());
    // Without login every open session gets the events.
    server.setAuth(0, "", "");
    EXPECT_TRUE(server.hasRecipients());
}

TEST(KelServerAuth, CompareIsExactAndCaseSensitive)
{
    WSServer s;
    EXPECT_EQ(s.isAuthEnabled(), 0);
    s.setAuth(1, "admin", "21232f297a57a5a743894a0e4a801fc3");
    EXPECT_EQ(s.isAuthEnabled(), 1);
    EXPECT_TRUE(s.checkAuth("admin", "21232f297a57a5a743894a0e4a801fc3"));
    EXPECT_FALSE(s.checkAuth("admin", "21232F297A57A5A743894A0E4A801FC3"));
    EXPECT_FALSE(s.checkAuth("Admin", "21232f297a57a5a743894a0e4a801fc3"));
    EXPECT_FALSE(s.checkAuth("admin", "21232f297a57a5a743894a0e4a801fc"));
    EXPECT_FALSE(s.checkAuth("admin", "21232f297a57a5a743894a0e4a801fc3x"));
    EXPECT_FALSE(s.checkAuth("", ""));
}

TEST(WSServerStart, BusyPortIsReported)
{
    const int port = freeTcpPort();
    WSServer first, second;
    first.setAddress(RDSocketAddress("127.0.0.1", port));
    second.setAddress(RDSocketAddress("127.0.0.1", port));
    ASSERT_TRUE(first.start());
    EXPECT_FALSE(second.start());
    EXPECT_FALSE(second.isStarted());
    EXPECT_FALSE(second.isListening());
}

TEST_F(WSServerTest, ReceivedAudioKeepsTheNewest30Frames)
{
    ASSERT_TRUE(startServer());
    auto ws = connectClient();
    ASSERT_TRUE(PaTest::waitUntil([&] { return observer.sessions().size() == 1; }));
    auto session = observer.sessions().at(0);
    for (int ts = 1; ts <= 31; ++ts) {
        QByteArray audio(1, '\x01');
        audio += QByteArray("\x00\x01\x1F\x40\x00\x00\x00", 7) + char(ts);
        audio += QByteArray(320, '\x11');
        ws->sendBinaryMessage(audio);
    }
    // A text message behind them: once it is seen, the audio was read.
    ws->sendTextMessage(QStringLiteral("mark"));
    ASSERT_TRUE(PaTest::waitUntil([&] { return observer.messages().size() == 1; }));
    std::vector<uint32_t> stamps;
    for (;;) {
        KelAudioFrame f;
        session->takeAudio(f);
        if (f.length == 0)
            break;
        stamps.push_back(f.timestamp);
    }
    ASSERT_EQ(stamps.size(), 30u);
    EXPECT_EQ(stamps.front(), 2u);
    EXPECT_EQ(stamps.back(), 31u);
}

namespace {

// Context switches (voluntary and not) of this process's threads named
// `name`, summed: each wake-up of a sleeping thread counts one.
long long threadSwitches(const QByteArray &name)
{
    long long total = 0;
    for (int tid : PaTest::threadIdsNamed(QString::fromLatin1(name)))
        total += std::max(0LL, PaTest::threadSwitches(tid));
    return total;
}

int threadCount()
{
    QFile f(QStringLiteral("/proc/self/status"));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("Threads:"))
            return line.mid(8).trimmed().toInt();
    }
    return -1;
}

} // namespace

// Hundreds of connections that never finish a handshake, held open by a
// host on the LAN, must not lock the apps out: they wait apart from the
// sessions, cost no threads, and an app still completes its handshake and
// login at once while the logged-in sessions keep their places.
TEST_F(WSServerTest, IdleConnectionsNeverLockAppsOut)
{
    // Room for the three sessions below and the three apps, no more.
    server.setMaxSessions(6);
    observer.onData = [](KelServer *, std::shared_ptr<KelClient> session, const std::string &message) {
        if (message == "login") {
            session->setAuthorized(true);
            session->sendText("welcome");
        }
    };
    ASSERT_TRUE(startServer());
    const int base = threadCount();
    ASSERT_GT(base, 0);
    std::vector<std::unique_ptr<RawClient>> members;
    for (int i = 0; i < 3; ++i) {
        members.push_back(std::make_unique<RawClient>(port));
        ASSERT_TRUE(members.back()->handshake());
    }
    ASSERT_TRUE(PaTest::waitUntil([&] { return server.sessionCount() == 3; }));

    std::vector<std::unique_ptr<RawClient>> idle;
    for (int i = 0; i < 300; ++i) {
        idle.push_back(std::make_unique<RawClient>(port, 0, false));
        if (i % 2)
            idle.back()->sendAll("GET / HTTP/1.1\r\nUpgrade: websocket\r\n"); // and never the rest
    }
    std::vector<std::unique_ptr<RawClient>> apps;
    for (int round = 0; round < 3; ++round) {
        QElapsedTimer timer;
        timer.start();
        apps.push_back(std::make_unique<RawClient>(port));
        RawClient &app = *apps.back();
        ASSERT_TRUE(app.handshake()) << round;
        ASSERT_TRUE(app.sendAll(clientFrame(WSFrame::Text, "login")));
        int op = -1;
        std::string payload;
        ASSERT_TRUE(app.readUntil([&](const std::string &b) { return firstFrame(b, op, payload); }, 2000)) << round;
        EXPECT_EQ(payload, "welcome");
        EXPECT_LT(timer.elapsed(), 1000) << round;
    }
    // The sessions that were in before the flood are still served.
    const std::string event = "{\"event\":\"GroupStarted\"}";
    server.send(event.data(), int(event.size()));
    for (auto &m : members) {
        int op = -1;
        std::string payload;
        ASSERT_TRUE(m->readUntil([&](const std::string &b) { return firstFrame(b, op, payload); }));
        EXPECT_EQ(payload, event);
    }
    // Waiting connections hold no threads: two per session only.
    EXPECT_LE(threadCount(), base + 2 * 6 + 2);
}

TEST_F(WSServerTest, KeepAlivePingsAndAnsweredPingsKeepTheSessionOpen)
{
    limits.keepAliveInterval = 0.2;
    limits.idleTimeout = 0.6;
    ASSERT_TRUE(startServer());
    RawClient raw(port);
    ASSERT_TRUE(raw.handshake());
    QElapsedTimer timer;
    timer.start();
    int pings = 0;
    // Answer every ping for well past the idle time-out.
    while (timer.elapsed() < 1500) {
        int op = -1;
        std::string payload;
        size_t used = 0;
        ASSERT_TRUE(raw.readUntil([&](const std::string &b) { return firstFrame(b, op, payload, &used); }, 2000))
            << "no keep-alive ping";
        raw.buffer.erase(0, used);
        ASSERT_EQ(op, WSFrame::Ping);
        EXPECT_EQ(payload, "\r\n");
        ++pings;
        ASSERT_TRUE(raw.sendAll(clientFrame(WSFrame::Pong, payload)));
    }
    EXPECT_GE(pings, 3);
    EXPECT_EQ(server.sessionCount(), 1);
    // A peer that stops answering is closed after the idle time-out.
    EXPECT_TRUE(raw.waitClosed(5000));
    ASSERT_TRUE(PaTest::waitUntil([&] { return server.sessionCount() == 0; }));
}

// An idle session sleeps until the app sends something or the session
// ends: its threads do not wake to look, yet a request is read at once.
TEST_F(WSServerTest, IdleSessionThreadsSleepUntilTheAppSends)
{
    limits.keepAliveInterval = 0; // no pings during the count
    observer.onData = [](KelServer *, std::shared_ptr<KelClient> session, const std::string &message) {
        session->sendText("re:" + message);
    };
    ASSERT_TRUE(startServer());
    RawClient app(port);
    ASSERT_TRUE(app.handshake());
    ASSERT_TRUE(PaTest::waitUntil([&] { return threadSwitches("WSClient Read") > 0; }));
    const long long before = threadSwitches("WSClient Read") + threadSwitches("WSClient Send");
    QElapsedTimer idle;
    idle.start();
    while (idle.elapsed() < 1000)
        QThread::msleep(50);
    const long long wakeUps = threadSwitches("WSClient Read") + threadSwitches("WSClient Send") - before;
    EXPECT_LE(wakeUps, 10) << "an idle session's threads woke " << wakeUps << " times in a second";

    ASSERT_TRUE(app.sendAll(clientFrame(WSFrame::Text, "ping")));
    int op = -1;
    std::string payload;
    ASSERT_TRUE(app.readUntil([&](const std::string &b) { return firstFrame(b, op, payload); }, 2000));
    EXPECT_EQ(payload, "re:ping");
}

TEST_F(WSServerTest, ListenThreadSleepsWhileNoSessionIsOpen)
{
    const QList<int> before = PaTest::threadIdsNamed(QString());
    ASSERT_TRUE(startServer());
    QList<int> ids;
    ASSERT_TRUE(PaTest::waitUntil([&] { return !(ids = PaTest::threadIdsNamed("WSServer Listen", before)).isEmpty(); }));
    ASSERT_EQ(ids.size(), 1);
    const auto idleSwitches = [&] {
        const long long n = PaTest::switchesOver(ids, 500);
        EXPECT_GE(n, 0);
        return n;
    };
    EXPECT_LE(idleSwitches(), 5);

    // A connection is still taken at once, and once its session has ended
    // and been swept the thread sleeps again.
    {
        std::unique_ptr<QWebSocket> app = connectClient();
        ASSERT_TRUE(PaTest::waitUntil([&] { return server.sessionCount() == 1; }));
        app->close();
        ASSERT_TRUE(PaTest::waitUntil([&] { return server.sessionCount() == 0; }));
    }
    EXPECT_LE(idleSwitches(), 5);

    QElapsedTimer timer;
    timer.start();
    server.stop();
    EXPECT_LT(timer.elapsed(), 250);
}
