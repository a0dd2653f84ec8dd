// The P2P session server against the rendezvous service program and apps
// built on the P2P library's client side, all on loopback.
#include "KelTestSupport.h"
#include "P2PClient.h"
#include "P2PEndpoint.h"
#include "PlatformThreadStats.h"
#include "RendezvousProcess.h"
#include "TUTKClient.h"
#include "TUTKServer.h"
#include "TestSupport.h"

#include "KelAudioFrame.h"
#include "av_api.h"
#include "iotc_api.h"

#include <QElapsedTimer>
#include <QStringList>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <map>
#include <mutex>
#include <thread>

using namespace KelTest;

namespace {

const char *const kUid = "PA-P2P-TEST-UID";

std::mutex g_logMutex;
QStringList g_log;

void captureLog(QtMsgType, const QMessageLogContext &, const QString &m)
{
    std::lock_guard<std::mutex> lock(g_logMutex);
    g_log << m;
}

std::string frameWire(uint32_t timestamp, const std::string &payload)
{
    KelAudioFrame f;
    f.codec = 0;
    f.channels = 1;
    f.sampleRate = 8000;
    f.timestamp = timestamp;
    f.data.assign(payload.begin(), payload.end());
    f.length = int(payload.size());
    std::string wire(size_t(f.serialize(nullptr, 0, 0)), '\0');
    f.serialize(reinterpret_cast<uint8_t *>(&wire[0]), 0, int(wire.size()));
    return wire;
}

// How often each thread named `name` has gone to sleep and been woken so
// far, by thread id.
std::map<std::string, long> wakeUpsOfThreadsNamed(const std::string &name)
{
    std::map<std::string, long> counts;
    for (const Platform::ThreadCounters &t : Platform::threadsNamed(name))
        counts[t.id] = t.wakeUps;
    return counts;
}

class TUTKServerTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_TRUE(rendezvous.start());
        server.setUid(QLatin1String(kUid));
        server.setRendezvous(RDSocketAddress("127.0.0.1", rendezvous.port()));
        server.addObserver(&observer);
    }

    void TearDown() override
    {
        server.stop();
        P2PEndpoint::setFaultsForTesting(P2PEndpoint::Faults());
        P2PEndpoint::setPeerTimeout(10.0);
    }

    bool startServer()
    {
        server.start();
        return PaTest::waitUntil([&] { return server.isListening(); }, 5000);
    }

    std::unique_ptr<P2PClient> newApp()
    {
        auto app = std::make_unique<P2PClient>();
        app->setRendezvous("127.0.0.1", uint16_t(rendezvous.port()));
        return app;
    }

    // An app that has connected and started its side, once the server has
    // announced its session.
    std::unique_ptr<P2PClient> connectApp()
    {
        auto app = newApp();
        const int before = observer.connected();
        EXPECT_EQ(app->connect(kUid), 0);
        EXPECT_EQ(app->startAv("app", "app"), 0);
        EXPECT_TRUE(PaTest::waitUntil([&] { return observer.connected() > before; }, 5000));
        return app;
    }

    std::shared_ptr<TUTKClient> lastSession()
    {
        const auto all = observer.sessions();
        return all.empty() ? nullptr : std::dynamic_pointer_cast<TUTKClient>(all.back());
    }

    static std::string receive(P2PClient &app, unsigned *type, int timeoutMs = 5000)
    {
        std::vector<char> buf(131068);
        const int n = app.recvIOCtrl(type, buf.data(), int(buf.size()), timeoutMs);
        return n >= 0 ? std::string(buf.data(), size_t(n)) : "error " + std::to_string(n);
    }

    PaTest::RendezvousProcess rendezvous;
    TUTKServer server;
    RecordingObserver observer;
};

} // namespace

TEST_F(TUTKServerTest, MessagesOfTheJsonTypeReachTheObserverUnchangedAndAnswersComeBack)
{
    observer.onData = [](KelServer *, std::shared_ptr<KelClient> session, const std::string &text) {
        session->sendText("re:" + text);
    };
    ASSERT_TRUE(startServer());
    auto app = connectApp();
    const std::string request = "{\"method\":\"GetDeviceInfo\",\"id\":1}";
    ASSERT_EQ(app->sendIOCtrl(511, "{\"other\":1}", 11), 0);
    ASSERT_EQ(app->sendIOCtrl(2048, request.data(), int(request.size())), 0);
    unsigned type = 0;
    EXPECT_EQ(receive(*app, &type), "re:" + request);
    EXPECT_EQ(type, TUTKClient::MessageType);
    EXPECT_EQ(observer.messages(), std::vector<std::string>{request});

    // Events go to every session; with login required only to those that
    // logged in.
    auto second = connectApp();
    server.send("event-1", 7);
    EXPECT_EQ(receive(*app, &type), "event-1");
    EXPECT_EQ(receive(*second, &type), "event-1");
    server.setAuth(1, "user", "digest");
    observer.sessions().front()->setAuthorized(true);
    server.send("event-2", 7);
    EXPECT_EQ(receive(*app, &type), "event-2");
    EXPECT_EQ(receive(*second, &type, 300), "error " + std::to_string(AV_ERR_TIMEOUT));
    EXPECT_EQ(server.sessionCount(), 2);
}

TEST_F(TUTKServerTest, AudioFramesTravelBothWaysAndTheHundredAndFirstPushesOutTheOldest)
{
    ASSERT_TRUE(startServer());
    auto app = connectApp();
    const auto session = lastSession();
    ASSERT_TRUE(session);

    const QtMessageHandler previous = qInstallMessageHandler(captureLog);
    for (uint32_t ts = 1; ts <= 101; ++ts) {
        const std::string wire = frameWire(ts, std::string(160, char(ts)));
        ASSERT_EQ(app->sendAudio(wire.data(), int(wire.size()), TUTKClient::FrameInfo), 0);
        // At a real pace, not a burst: the apps send 50 frames a second.
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const bool full = PaTest::waitUntil([&] {
        std::lock_guard<std::mutex> lock(g_logMutex);
        return g_log.join('\n').contains("remove first audio frame cause audio size over 100");
    }, 5000);
    qInstallMessageHandler(previous);
    EXPECT_TRUE(full);
    EXPECT_EQ(session->receivedAudioCount(), 100u);
    KelAudioFrame frame;
    session->takeAudio(frame);
    EXPECT_EQ(frame.timestamp, 2u);
    EXPECT_EQ(frame.sampleRate, 8000u);
    EXPECT_EQ(frame.channels, 1u);
    ASSERT_EQ(frame.length, 160);
    ASSERT_NE(frame.payload(), nullptr);
    EXPECT_EQ(frame.payload()[0], 2);

    // A frame to the app goes out as one audio block that begins with the
    // 8-byte header, with the fixed frame information.
    KelAudioFrame out;
    out.codec = 0;
    out.channels = 1;
    out.sampleRate = 8000;
    out.timestamp = 4242;
    out.data.assign(320, 0x33);
    out.length = 320;
    session->queueAudio(out);
    std::vector<char> buf(1280);
    unsigned char info[16];
    unsigned frameNo = 0;
    const int n = app->recvAudio(buf.data(), 1280, info, &frameNo, 3000);
    ASSERT_EQ(n, 328);
    EXPECT_EQ(std::string(buf.data(), 328), frameWire(4242, std::string(320, char(0x33))));
    EXPECT_EQ(std::memcmp(info, TUTKClient::FrameInfo, 16), 0);
    EXPECT_EQ(info[0], 137);
    EXPECT_EQ(info[2], 2);
}

TEST_F(TUTKServerTest, AnAppThatLeavesBeforeStartingItsSideIsNeverAnnounced)
{
    ASSERT_TRUE(startServer());
    auto quitter = newApp();
    ASSERT_EQ(quitter->connect(kUid), 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    quitter->close();
    auto app = connectApp();
    EXPECT_EQ(observer.connected(), 1);
    EXPECT_EQ(server.sessionCount(), 1);
    EXPECT_EQ(observer.closed(), 0);
    // The session that did start works.
    observer.onData = [](KelServer *, std::shared_ptr<KelClient> session, const std::string &text) {
        session->sendText(text);
    };
    ASSERT_EQ(app->sendIOCtrl(2048, "ping", 4), 0);
    unsigned type;
    EXPECT_EQ(receive(*app, &type), "ping");
}

TEST_F(TUTKServerTest, AVanishedAppIsClosedAndAnnouncedWithinTheSilenceTimeout)
{
    ASSERT_TRUE(startServer());
    auto app = connectApp();
    const auto session = lastSession();
    ASSERT_TRUE(session);
    QElapsedTimer timer;
    timer.start();
    app->vanish();
    ASSERT_TRUE(PaTest::waitUntil([&] { return observer.closed() == 1; }, 15000));
    const double seconds = timer.elapsed() / 1000.0;
    EXPECT_GE(seconds, P2PEndpoint::peerTimeout() - 1.0);
    EXPECT_LE(seconds, P2PEndpoint::peerTimeout() + 2.0);
    EXPECT_FALSE(session->isOpen());
    EXPECT_FALSE(session->isRunning());
    EXPECT_EQ(server.sessionCount(), 0);
    // The freed place takes a new app, and closing the old session has
    // not touched the new one that now holds the same place.
    observer.onData = [](KelServer *, std::shared_ptr<KelClient> s, const std::string &text) { s->sendText(text); };
    auto next = connectApp();
    EXPECT_EQ(server.sessionCount(), 1);
    session->close();
    ASSERT_EQ(next->sendIOCtrl(2048, "alive", 5), 0);
    unsigned type;
    EXPECT_EQ(receive(*next, &type), "alive");
    EXPECT_EQ(next->state(), 0);
}

TEST_F(TUTKServerTest, ARefusedLoginIsRetriedEveryFiveSecondsAndStopIsPrompt)
{
    // An empty uid is still tried; the service refuses it.
    server.setUid(QString());
    server.start();
    ASSERT_TRUE(PaTest::waitUntil([&] { return server.loginAttempts() >= 1; }, 5000));
    QElapsedTimer timer;
    timer.start();
    ASSERT_TRUE(PaTest::waitUntil([&] { return server.loginAttempts() >= 2; }, 8000));
    EXPECT_GE(timer.elapsed(), 4000);
    EXPECT_FALSE(server.isListening());
    timer.restart();
    server.stop();
    EXPECT_LT(timer.elapsed(), 1000);
    EXPECT_FALSE(server.isStarted());
}

TEST_F(TUTKServerTest, StopWhileAnAppHasNotStartedItsSideIsPrompt)
{
    ASSERT_TRUE(startServer());
    auto app = newApp();
    ASSERT_EQ(app->connect(kUid), 0);
    // The listen thread now waits for the app's start (up to 10 s).
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    QElapsedTimer timer;
    timer.start();
    server.stop();
    EXPECT_LT(timer.elapsed(), 2000);
    EXPECT_EQ(observer.connected(), 0);
}

// Apps that connect and never start their side each hold the start of the
// ones behind them only briefly, not for the whole start time-out; the app
// that does start gets its session, and the silent ones are not announced.
TEST_F(TUTKServerTest, ConnectionsThatNeverStartDoNotHoldUpTheNextApp)
{
    server.setMaxSessions(4);
    ASSERT_TRUE(startServer());
    std::vector<std::unique_ptr<P2PClient>> silent;
    for (int i = 0; i < 2; ++i) {
        silent.push_back(newApp());
        ASSERT_EQ(silent.back()->connect(kUid), 0);
    }
    auto app = newApp();
    ASSERT_EQ(app->connect(kUid), 0);
    QElapsedTimer timer;
    timer.start();
    EXPECT_EQ(app->startAv("app", "app", 8000), 0);
    EXPECT_LT(timer.elapsed(), 8000);
    ASSERT_TRUE(PaTest::waitUntil([&] { return observer.connected() == 1; }, 5000));
    EXPECT_EQ(server.sessionCount(), 1);
    ASSERT_EQ(app->sendIOCtrl(2048, "hello", 5), 0);
    EXPECT_TRUE(PaTest::waitUntil(
        [&] { return observer.messages() == std::vector<std::string>{"hello"}; }, 5000));
}

TEST_F(TUTKServerTest, AFloodOfConnectionsCannotGrowTheSessionTable)
{
    server.setMaxSessions(2);
    observer.onData = [](KelServer *, std::shared_ptr<KelClient> session, const std::string &text) {
        session->sendText(text);
    };
    ASSERT_TRUE(startServer());
    auto first = connectApp();
    auto second = connectApp();
    std::vector<std::unique_ptr<P2PClient>> flood;
    for (int i = 0; i < 20; ++i) {
        flood.push_back(newApp());
        EXPECT_EQ(flood.back()->connect(kUid, 2000), IOTC_ERR_DEVICE_BUSY);
    }
    EXPECT_EQ(server.sessionCount(), 2);
    ASSERT_EQ(first->sendIOCtrl(2048, "still here", 10), 0);
    unsigned type;
    EXPECT_EQ(receive(*first, &type), "still here");
    // A place freed by an app that leaves goes to the next one.
    second->close();
    ASSERT_TRUE(PaTest::waitUntil([&] { return observer.closed() == 1; }, 5000));
    auto third = connectApp();
    EXPECT_EQ(server.sessionCount(), 2);
}

TEST_F(TUTKServerTest, EveryJsonCommandArrivesThroughLossAndReordering)
{
    observer.onData = [](KelServer *, std::shared_ptr<KelClient> session, const std::string &text) {
        session->sendText("{\"reply\":" + text + "}");
    };
    ASSERT_TRUE(startServer());
    auto app = connectApp();
    P2PEndpoint::Faults faults;
    faults.loss = 0.05;
    faults.reorder = 0.05;
    faults.seed = 29;
    P2PEndpoint::setFaultsForTesting(faults);
    std::vector<std::string> sent, replies;
    for (int i = 0; i < 100; ++i) {
        sent.push_back("{\"method\":\"GetGroup\",\"id\":" + std::to_string(i) + ",\"pad\":\"" +
                       std::string(size_t(i * 37), 'p') + "\"}");
        ASSERT_EQ(app->sendIOCtrl(2048, sent.back().data(), int(sent.back().size())), 0);
    }
    unsigned type;
    for (size_t i = 0; i < sent.size(); ++i)
        replies.push_back(receive(*app, &type, 20000));
    std::vector<std::string> expected;
    for (const std::string &s : sent)
        expected.push_back("{\"reply\":" + s + "}");
    EXPECT_EQ(replies, expected);
    EXPECT_EQ(observer.messages(), sent);
}

TEST_F(TUTKServerTest, AnIdleSessionSleepsUntilDataComesAndItsCloseIsPrompt)
{
    ASSERT_TRUE(startServer());
    auto app = connectApp();
    const auto session = lastSession();
    ASSERT_TRUE(session);
    // Let the threads settle into their receives.
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const char *const names[] = {"TUTK Read", "TUTK Read Audio", "TUTK Send"};
    std::map<std::string, std::map<std::string, long>> before;
    for (const char *name : names) {
        before[name] = wakeUpsOfThreadsNamed(name);
        ASSERT_EQ(before[name].size(), 1u) << name;
    }
    std::this_thread::sleep_for(std::chrono::seconds(1));
    // A thread that looks again every 10 ms wakes about a hundred times a
    // second; one that sleeps until something happens, a few times at most.
    for (const char *name : names) {
        SCOPED_TRACE(name);
        const auto after = wakeUpsOfThreadsNamed(name);
        ASSERT_EQ(after.size(), 1u);
        ASSERT_EQ(after.begin()->first, before[name].begin()->first);
        EXPECT_LT(after.begin()->second - before[name].begin()->second, 5);
    }

    // Sleeping threads still see data at once.
    observer.onData = [](KelServer *, std::shared_ptr<KelClient> s, const std::string &text) {
        s->sendText("re:" + text);
    };
    ASSERT_EQ(app->sendIOCtrl(2048, "{\"id\":2}", 8), 0);
    unsigned type = 0;
    EXPECT_EQ(receive(*app, &type), "re:{\"id\":2}");
    const std::string wire = frameWire(160, std::string(160, 'a'));
    ASSERT_EQ(app->sendAudio(wire.data(), int(wire.size()), TUTKClient::FrameInfo), 0);
    EXPECT_TRUE(PaTest::waitUntil([&] { return session->receivedAudioCount() == 1; }, 3000));

    // Closing the session wakes its threads from their receives.
    QElapsedTimer timer;
    timer.start();
    session->close();
    EXPECT_LT(timer.elapsed(), 100);
    EXPECT_FALSE(session->isRunning());
    EXPECT_FALSE(session->isOpen());
}
