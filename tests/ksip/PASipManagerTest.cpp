// The program's SIP agent as the switch control and the call dialogs use
// it: zone accounts signed in with expiry 360 s, calls answered at once and
// fed from the zone's stream, app talk and listen on running calls, volume
// kept in range, accounts signed out again.
#include "FakeAppSession.h"
#include "PASipCall.h"
#include "PASipChannel.h"
#include "PASipManager.h"
#include "PASipStreamReader.h"
#include "RDCoreDevice.h"
#include "RtpPacket.h"
#include "SipTestPeer.h"
#include "TestSupport.h"
#include "ToneMedia.h"
#include "UdpPeer.h"

#include <QElapsedTimer>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <regex>
#include <thread>

namespace {

std::string peerSdp(int rtpPort, const std::string &payloads)
{
    return "v=0\r\no=peer 1 1 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\nm=audio "
        + std::to_string(rtpPort) + " RTP/AVP " + payloads + "\r\n";
}

int sdpAudioPort(const std::string &sdp)
{
    std::smatch m;
    return std::regex_search(sdp, m, std::regex("m=audio ([0-9]+)")) ? std::stoi(m[1]) : 0;
}

// `ms` of PCMU audio arriving at `rtp`, decoded.
std::vector<double> receiveUlaw(PaTest::UdpPeer &rtp, int ms, int timeoutMs)
{
    std::vector<double> x;
    QElapsedTimer t;
    t.start();
    while (int(x.size()) < ms * 8 && t.elapsed() < timeoutMs) {
        const std::vector<uint8_t> data = rtp.receive(200);
        RtpPacket p;
        if (data.empty() || !p.parse(data.data(), int(data.size())) || p.payloadType() != 0)
            continue;
        const auto d = ToneMedia::fromUlaw(p.payload(), p.payloadLength());
        x.insert(x.end(), d.begin(), d.end());
    }
    return x;
}

// The dominant tone among the candidates, by Goertzel share.
double dominant(const std::vector<double> &x, std::initializer_list<double> candidates)
{
    double best = 0, share = 0;
    for (double hz : candidates) {
        const double s = Tone::goertzelShare(x, hz, 8000);
        if (s > share) {
            share = s;
            best = hz;
        }
    }
    return share > 0.5 ? best : 0.0;
}

class SipAccounts : public ::testing::Test
{
protected:
    void SetUp() override
    {
        ASSERT_EQ(PASipManager::instance(), nullptr);
        ASSERT_TRUE(PASipManager::createInstance(QStringLiteral("127.0.0.1"), PaTest::freeUdpPort(),
                                                 PaTest::freeRtpPort(), QStringLiteral("127.0.0.1")));
        m_sip = PASipManager::instance();
        ASSERT_NE(m_sip, nullptr);
        m_agentPort = m_sip->listenPort();
    }
    void TearDown() override
    {
        PASipManager::destroyInstance();
        EXPECT_EQ(PASipManager::instance(), nullptr);
    }

    // As the switch control signs a zone's account in: under the lock.
    PASipChannel *signIn(SipTestPeer &registrar, const QString &user, const QString &source, int volume,
                         const std::shared_ptr<KelClient> &session = nullptr, const QString &publish = QString())
    {
        m_sip->lock();
        PASipChannel *c = m_sip->registerSourceAccount("127.0.0.1", registrar.port(), user, "pw-" + user, source,
                                                       RDCoreDevice(), session, publish, volume);
        m_sip->unlock();
        return c;
    }
    // Answers the next REGISTER 200; returns it.
    SipReceived acceptRegister(SipTestPeer &registrar)
    {
        SipReceived r = registrar.waitRequest("REGISTER", 3000);
        if (r)
            registrar.respond(r, 200);
        return r;
    }
    PASipManager::Account account(int port, const QString &user)
    {
        PASipManager::Account a;
        EXPECT_TRUE(m_sip->account("127.0.0.1", port, user, &a)) << user.toStdString();
        return a;
    }

    PASipManager *m_sip = nullptr;
    int m_agentPort = 0;
};

TEST_F(SipAccounts, ZoneAccountSignsInForSixMinutesRefreshesInPlaceAndSignsOut)
{
    SipTestPeer registrar;
    ASSERT_TRUE(signIn(registrar, "4001", "http://127.0.0.1:1/a", 120));
    SipReceived first = acceptRegister(registrar);
    ASSERT_TRUE(first);
    EXPECT_EQ(first.header("Expires"), "360");
    EXPECT_NE(first.header("From").find("sip:4001@127.0.0.1"), std::string::npos) << first.header("From");
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_sip->isRegistered("127.0.0.1", registrar.port(), "4001"); }, 3000));

    // Started again: the same account signs in anew with the new source.
    ASSERT_TRUE(signIn(registrar, "4001", "http://127.0.0.1:1/b", 250));
    ASSERT_TRUE(acceptRegister(registrar));
    EXPECT_EQ(m_sip->accountCount(), 1);
    const PASipManager::Account a = account(registrar.port(), "4001");
    EXPECT_EQ(a.password, "pw-4001");
    EXPECT_EQ(a.sourceUrl, "http://127.0.0.1:1/b");
    EXPECT_EQ(a.volume, 200);
    EXPECT_FALSE(m_sip->isRegistered("127.0.0.1", registrar.port() + 1, "4001"));
    EXPECT_FALSE(m_sip->isRegistered("127.0.0.1", registrar.port(), "400"));

    EXPECT_TRUE(m_sip->unregisterAccount("127.0.0.1", registrar.port(), "4001"));
    SipReceived bye = registrar.waitRequest("REGISTER", 3000);
    ASSERT_TRUE(bye);
    EXPECT_EQ(bye.header("Expires"), "0");
    EXPECT_EQ(m_sip->accountCount(), 0) << "an account signing out no longer counts";
    registrar.respond(bye, 200);
    EXPECT_TRUE(PaTest::waitUntil([&] {
        m_sip->lock();
        const bool gone = m_sip->channels().isEmpty();
        m_sip->unlock();
        return gone;
    }, 3000));
    // Unknown accounts: nothing happens.
    EXPECT_TRUE(m_sip->unregisterAccount("127.0.0.1", registrar.port(), "9999"));
    EXPECT_FALSE(m_sip->isTalking("127.0.0.1", registrar.port(), "9999"));
}

TEST_F(SipAccounts, AZoneRestartedWhileItsAccountSignsOutGetsAFreshAccountThatStopsAgain)
{
    SipTestPeer registrar;
    ASSERT_TRUE(signIn(registrar, "4001", QString(), 100));
    ASSERT_TRUE(acceptRegister(registrar));
    m_sip->unregisterAccount("127.0.0.1", registrar.port(), "4001");
    ASSERT_TRUE(registrar.waitRequest("REGISTER", 3000)); // left unanswered: still signing out

    ASSERT_TRUE(signIn(registrar, "4001", QString(), 150));
    SipReceived fresh = acceptRegister(registrar);
    ASSERT_TRUE(fresh);
    EXPECT_EQ(fresh.header("Expires"), "360");
    EXPECT_EQ(m_sip->accountCount(), 1);
    m_sip->setVolume("4001", 60);
    EXPECT_EQ(account(registrar.port(), "4001").volume, 60) << "the live account is the one changed";

    m_sip->unregisterAccount("127.0.0.1", registrar.port(), "4001");
    SipReceived out = registrar.waitRequest("REGISTER", 3000);
    ASSERT_TRUE(out);
    EXPECT_EQ(out.header("Expires"), "0");
    EXPECT_EQ(m_sip->accountCount(), 0);
}

TEST_F(SipAccounts, TheCallDialogPlacesACallFromARegisteredAccount)
{
    SipTestPeer registrar;
    m_sip->lock();
    ASSERT_TRUE(m_sip->registerAccount("127.0.0.1", registrar.port(), "8888", "8888"));
    m_sip->unlock();
    ASSERT_TRUE(acceptRegister(registrar));
    ASSERT_TRUE(PaTest::waitUntil([&] { return m_sip->isRegistered("127.0.0.1", registrar.port(), "8888"); }, 3000));

    m_sip->lock();
    PASipChannel *channel = m_sip->findChannel("127.0.0.1", registrar.port(), "8888");
    ASSERT_TRUE(channel);
    channel->lock();
    EXPECT_TRUE(channel->call("6001", RDCoreDevice(), false));
    EXPECT_TRUE(channel->findCall("6001"));
    EXPECT_FALSE(channel->findCall("600")) << "whole numbers only";
    EXPECT_FALSE(channel->findCall(""));
    channel->unlock();
    m_sip->unlock();

    SipReceived invite = registrar.waitRequest("INVITE", 3000);
    ASSERT_TRUE(invite);
    EXPECT_EQ(invite.header("Subject"), "ksip");
    EXPECT_NE(invite.body().find("m=audio"), std::string::npos);
    EXPECT_NE(invite.body().find("RTP/AVP 102 9 3 0 8"), std::string::npos) << invite.body();
    registrar.respond(invite, 486);
    EXPECT_TRUE(PaTest::waitUntil([&] {
        m_sip->lock();
        PASipChannel *c = m_sip->findChannel("127.0.0.1", registrar.port(), "8888");
        c->lock();
        PASipCall *call = c->findCall("6001");
        const bool ended = !call || call->isInvalid();
        c->unlock();
        m_sip->unlock();
        return ended;
    }, 5000));
}

TEST_F(SipAccounts, VolumeIsSetByUserAloneAndKeptInRange)
{
    SipTestPeer registrar, other;
    signIn(registrar, "4001", QString(), 100);
    signIn(other, "5001", QString(), -5);
    EXPECT_EQ(account(other.port(), "5001").volume, 0);
    const struct { int given; int kept; } cases[] = {{0, 0}, {150, 150}, {200, 200}, {201, 200}, {-1, 0}};
    for (const auto &c : cases) {
        m_sip->setVolume("5001", c.given);
        EXPECT_EQ(account(other.port(), "5001").volume, c.kept) << c.given;
        EXPECT_EQ(account(registrar.port(), "4001").volume, 100) << c.given;
    }
    m_sip->setVolume("7777", 10); // no such account: nothing happens
    EXPECT_EQ(m_sip->accountCount(), 2);
}

class SipCalls : public SipAccounts
{
protected:
    void SetUp() override
    {
        SipAccounts::SetUp();
        m_retry = PASipStreamReader::retryDelayMs();
        ASSERT_TRUE(m_dir.isValid());
        m_wav = m_dir.filePath("zone.wav");
        ASSERT_TRUE(ToneMedia::writeWav(m_wav, 1000.0, 8000, 20000));
    }
    void TearDown() override
    {
        PASipStreamReader::setRetryDelayMs(m_retry);
        SipAccounts::TearDown();
    }

    // The switch calls the zone account from `caller`; true when answered
    // 200 with PCMU (the answer is kept in m_ok).
    bool call(SipTestPeer &caller, const char *user, const char *from, int rtpPort, SipReceived *ok)
    {
        caller.invite(m_agentPort, user, from, peerSdp(rtpPort, "0 8 101"));
        SipReceived ringing = caller.waitResponse("INVITE", 180, 3000);
        SipReceived answer = caller.waitResponse("INVITE", 200, 3000);
        if (!ringing || !answer)
            return false;
        caller.ack(m_agentPort, answer);
        const std::string sdp = answer.body();
        EXPECT_NE(sdp.find("RTP/AVP 0 8\r\n"), std::string::npos) << "caller's order, only what is carried: " << sdp;
        *ok = std::move(answer);
        return true;
    }

    // Account 4001 with `source`, signed in at `registrar` and called from
    // 3001 with RTP to `rtp`.
    bool answeredCall(SipTestPeer &registrar, const QString &source, PaTest::UdpPeer &rtp, SipReceived *ok)
    {
        return signIn(registrar, "4001", source, 100) && acceptRegister(registrar)
            && call(registrar, "4001", "3001", rtp.port(), ok);
    }

    QTemporaryDir m_dir;
    QString m_wav;
    int m_retry = 0;
};

TEST_F(SipCalls, ACallIsAnsweredAtOnceAndCarriesTheZoneStream)
{
    SipTestPeer registrar;
    PaTest::UdpPeer rtp(PaTest::freeRtpPort());
    SipReceived ok;
    ASSERT_TRUE(answeredCall(registrar, m_wav, rtp, &ok));
    std::vector<double> x = receiveUlaw(rtp, 1000, 5000);
    ASSERT_GE(x.size(), size_t(7000));
    EXPECT_EQ(dominant(x, {500.0, 1000.0}), 1000.0);
    EXPECT_NEAR(Tone::frequency(x, 8000), 1000.0, 5.0);

    registrar.inDialog(m_agentPort, ok, "BYE", 2);
    EXPECT_TRUE(registrar.waitResponse("BYE", 200, 3000));
    EXPECT_TRUE(PaTest::waitUntil([&] { return account(registrar.port(), "4001").calls == 0; }, 3000));
}

TEST_F(SipCalls, ASecondCallFromTheSameNumberReplacesTheFirst)
{
    SipTestPeer registrar, second;
    PaTest::UdpPeer rtp1(PaTest::freeRtpPort()), rtp2(PaTest::freeRtpPort());
    SipReceived ok1;
    ASSERT_TRUE(answeredCall(registrar, QString(), rtp1, &ok1));
    second.invite(m_agentPort, "4001", "3001", peerSdp(rtp2.port(), "0"));
    SipReceived bye = registrar.waitRequest("BYE", 3000);
    ASSERT_TRUE(bye) << "the first call ends";
    registrar.respond(bye, 200);
    EXPECT_TRUE(second.waitResponse("INVITE", 200, 3000));
    EXPECT_TRUE(PaTest::waitUntil([&] { return account(registrar.port(), "4001").calls == 1; }, 3000));
}

TEST_F(SipCalls, AppTalkAndListenReachTheRunningCall)
{
    SipTestPeer registrar;
    PaTest::UdpPeer rtp(PaTest::freeRtpPort());
    SipReceived ok;
    ASSERT_TRUE(answeredCall(registrar, m_wav, rtp, &ok));
    EXPECT_EQ(dominant(receiveUlaw(rtp, 300, 5000), {500.0, 1000.0}), 1000.0);

    // The app talks a 500 Hz tone: the call carries it instead of the stream.
    auto app = std::make_shared<FakeAppSession>();
    const auto talk = ToneMedia::ulaw(Tone::sine(500.0, 8000, 1, 8000 * 3, 8000.0));
    m_sip->startTalk("127.0.0.1", registrar.port(), "4001", app);
    EXPECT_TRUE(m_sip->isTalking("127.0.0.1", registrar.port(), "4001"));
    EXPECT_EQ(account(registrar.port(), "4001").talkSession, app);
    for (size_t i = 0; i + 160 <= talk.size(); i += 160)
        app->talk(0, std::vector<uint8_t>(talk.begin() + long(i), talk.begin() + long(i) + 160));
    EXPECT_TRUE(PaTest::waitUntil([&] { return dominant(receiveUlaw(rtp, 200, 1000), {500.0, 1000.0}) == 500.0; }, 5000));

    m_sip->stopTalk("127.0.0.1", registrar.port(), "4001", app);
    EXPECT_FALSE(m_sip->isTalking("127.0.0.1", registrar.port(), "4001"));
    EXPECT_EQ(account(registrar.port(), "4001").talkSession, nullptr) << "later calls start without talk";
    EXPECT_TRUE(PaTest::waitUntil([&] { return dominant(receiveUlaw(rtp, 200, 1000), {500.0, 1000.0}) == 1000.0; }, 5000));

    // Listen: what the switch sends into the call reaches the app.
    auto listener = std::make_shared<FakeAppSession>();
    m_sip->startListen("127.0.0.1", registrar.port(), "4001", listener);
    const int agentRtp = sdpAudioPort(ok.body());
    ASSERT_GT(agentRtp, 0);
    const auto sent = ToneMedia::ulaw(Tone::sine(1000.0, 8000, 1, 8000, 8000.0));
    for (int i = 0; i < 50; ++i) {
        uint8_t packet[300];
        const int n = RtpPacket::write(0, false, uint16_t(i), uint32_t(i * 160), 0x1234, sent.data() + i * 160, 160,
                                       packet, sizeof(packet));
        rtp.sendTo(agentRtp, packet, n);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    const auto heard = listener->waitSent(30, 5000);
    ASSERT_GE(heard.size(), size_t(30));
    std::vector<double> x;
    for (const KelAudioFrame &f : heard) {
        const auto d = ToneMedia::fromUlaw(f.payload(), f.length);
        x.insert(x.end(), d.begin(), d.end());
    }
    EXPECT_EQ(dominant(x, {500.0, 1000.0}), 1000.0);
    m_sip->stopListen("127.0.0.1", registrar.port(), "4001", listener);
    EXPECT_EQ(listener.use_count(), 1) << "the call let go of the listener";
}

} // namespace

namespace {

TEST(PASipManagerLifetime, DestroyWaitsAsleepForItsUsersAndNewUsersSeeNone)
{
    ASSERT_TRUE(PASipManager::createInstance(QStringLiteral("127.0.0.1")));
    std::mutex lock;
    std::condition_variable changed;
    bool holding = false, release = false;
    std::thread user([&] {
        PASipManager::Use sip;
        EXPECT_TRUE(sip);
        std::unique_lock<std::mutex> guard(lock);
        holding = true;
        changed.notify_all();
        changed.wait_for(guard, std::chrono::seconds(10), [&] { return release; });
    });
    {
        std::unique_lock<std::mutex> guard(lock);
        ASSERT_TRUE(changed.wait_for(guard, std::chrono::seconds(10), [&] { return holding; }));
    }

    std::atomic<int> destroyerTid{0};
    std::atomic<bool> destroyed{false};
    std::thread destroyer([&] {
        destroyerTid = PaTest::currentThreadId();
        PASipManager::destroyInstance();
        destroyed = true;
    });
    ASSERT_TRUE(PaTest::waitUntil([&] { return PASipManager::instance() == nullptr; }));
    EXPECT_FALSE(PASipManager::Use());
    // The manager stays while its user holds it, and the destroyer sleeps
    // meanwhile: looking every millisecond would switch hundreds of times.
    const long long switches = PaTest::switchesOver({destroyerTid.load()}, 300);
    EXPECT_GE(switches, 0);
    EXPECT_LE(switches, 5);
    EXPECT_FALSE(destroyed.load());

    QElapsedTimer timer;
    timer.start();
    {
        std::lock_guard<std::mutex> guard(lock);
        release = true;
    }
    changed.notify_all();
    user.join();
    EXPECT_TRUE(PaTest::waitUntil([&] { return destroyed.load(); }, 5000));
    EXPECT_LT(timer.elapsed(), 250);
    destroyer.join();
}

} // namespace
