// The user agent against SIPp, an independent SIP implementation, on
// loopback: digest registration and its refresh before the granted expiry,
// calls in both directions with the right SDP and an audible tone in the
// RTP, hang-up from either side, a peer that vanishes, and the INVITEs that
// must be refused. Each SIPp run is bounded (-timeout 30s) and every wait
// here is bounded in seconds.
#include "RtpPacket.h"
#include "SipAudioDecoder.h"
#include "SipCall.h"
#include "SipChannel.h"
#include "SipChannelObserver.h"
#include "SipManager.h"
#include "SipPayload.h"
#include "SipStack.h"
#include "SipToneDevice.h"
#include "TestSupport.h"
#include "Tone.h"
#include "UdpPeer.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// One SIPp process with the options every run shares.
class Sipp
{
public:
    ~Sipp()
    {
        if (m_process.state() != QProcess::NotRunning) {
            m_process.kill();
            m_process.waitForFinished(5000);
        }
    }

    static bool available() { return !QStandardPaths::findExecutable("sipp").isEmpty(); }
    int port() const { return m_port; }

    static QString scenario(const char *name) { return QStringLiteral(PA_SIP_SCENARIO_DIR "/") + name; }

    // `scenario` is a file of tests/sip/. `localIp` is SIPp's signalling and
    // media address.
    void start(const QString &scenario, int port, const QStringList &extra, const QString &localIp = "127.0.0.1",
               int calls = 1)
    {
        QStringList args{"-sf", Sipp::scenario(scenario.toUtf8().constData()), "-nostdin", "-i", localIp, "-mi",
                         localIp, "-mp", QString::number(PaTest::freeSippMediaPort()), "-p", QString::number(port),
                         "-m", QString::number(calls), "-timeout", "30s",
                         "-timeout_error",
                         "-trace_err"};
        args += extra;
        m_process.setWorkingDirectory(m_dir.path());
        m_process.setProcessChannelMode(QProcess::MergedChannels);
        m_process.start("sipp", args);
        m_started = m_process.waitForStarted(5000);
        m_port = port;
    }

    // Waits until SIPp's socket is bound (a scenario that waits for the
    // first message must be listening before it is sent anything).
    bool waitListening(int ms = 5000) const
    {
        const auto end = Clock::now() + std::chrono::milliseconds(ms);
        while (Clock::now() < end) {
            if (!SipStack::findFreePort(m_port, 17)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

    // SIPp's exit code (0: every call passed), or -1 when it did not end in
    // `ms`. The error trace is kept for the failure message.
    int finish(int ms = 35000)
    {
        if (!m_started || !m_process.waitForFinished(ms)) {
            return -1;
        }
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    }

    std::string errors() const
    {
        std::string all = m_process.isOpen() ? QString::fromLocal8Bit(const_cast<QProcess &>(m_process).readAll()).toStdString()
                                             : std::string();
        for (const QString &name : QDir(m_dir.path()).entryList({"*errors.log"})) {
            QFile f(m_dir.path() + "/" + name);
            if (f.open(QIODevice::ReadOnly)) {
                all += f.readAll().toStdString();
            }
        }
        return all;
    }

private:
    QTemporaryDir m_dir;
    QProcess m_process;
    bool m_started = false;
    int m_port = 0;
};

// Records what the accounts report, with the time of each report.
class Observer : public SipChannelObserver
{
public:
    void note(const std::string &what)
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_events.emplace_back(what, Clock::now());
        m_changed.notify_all();
    }
    bool waitFor(const std::string &what, int times = 1, int ms = 10000)
    {
        std::unique_lock<std::mutex> g(m_lock);
        return m_changed.wait_for(g, std::chrono::milliseconds(ms), [&] { return countLocked(what) >= times; });
    }
    int count(const std::string &what)
    {
        std::lock_guard<std::mutex> g(m_lock);
        return countLocked(what);
    }
    std::vector<Clock::time_point> times(const std::string &what)
    {
        std::lock_guard<std::mutex> g(m_lock);
        std::vector<Clock::time_point> out;
        for (const auto &e : m_events) {
            if (e.first == what) {
                out.push_back(e.second);
            }
        }
        return out;
    }

    void onRegistered(SipChannel *, const char *, int, const char *) override { note("registered"); }
    void onRegisterFailed(SipChannel *, const char *, int, const char *) override { note("registerFailed"); }
    void onCallInvite(SipChannel *, SipCall *call, SipPayloadList *audio, SipPayloadList *) override
    {
        note("invite");
        call->ring();
        call->answer(SipPayload::supportedPayloads(audio), nullptr);
    }
    void onCallStarted(SipChannel *, SipCall *call) override
    {
        note("started");
        std::lock_guard<std::mutex> g(m_lock);
        m_audioPort = call->localAudioPort();
        call->setDevice(&device);
    }
    void onCallStopped(SipChannel *, SipCall *) override { note("stopped"); }
    void onCallRemoved(SipChannel *, SipCall *) override { note("removed"); }
    void onCallClosed(SipChannel *, SipCall *) override { note("closed"); }
    int audioPort()
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_audioPort;
    }

    SipToneDevice device{1000.0};

private:
    int countLocked(const std::string &what) const
    {
        int n = 0;
        for (const auto &e : m_events) {
            n += e.first == what;
        }
        return n;
    }

    std::mutex m_lock;
    std::condition_variable m_changed;
    std::vector<std::pair<std::string, Clock::time_point>> m_events;
    int m_audioPort = 0;
};

// The RTP that reaches a test-owned port: payload types seen and the decoded
// audio of the expected payload.
struct Heard
{
    int packets = 0;
    std::map<int, int> types;
    std::vector<double> pcm;
};

Heard listen(PaTest::UdpPeer &rtp, const SipPayload &payload, int wantPackets, int ms = 8000)
{
    Heard heard;
    std::unique_ptr<SipAudioDecoder> decoder(SipAudioDecoder::create(payload));
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (heard.packets < wantPackets && Clock::now() < end) {
        const std::vector<uint8_t> data = rtp.receive(200);
        RtpPacket packet;
        if (data.empty() || !packet.parse(data.data(), int(data.size()))) {
            continue;
        }
        ++heard.packets;
        ++heard.types[packet.payloadType()];
        if (decoder && packet.payloadType() == payload.number()) {
            int16_t out[4096];
            const int n = decoder->decode(data.data() + RtpPacket::kHeaderSize, int(data.size()) - RtpPacket::kHeaderSize,
                                          out, sizeof(out));
            for (int i = 0; i < n / 2; ++i) {
                heard.pcm.push_back(out[i]);
            }
        }
    }
    return heard;
}

bool waitPortFree(int port, int ms = 5000)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (Clock::now() < end) {
        if (SipStack::findFreePort(port, 17) && SipStack::findFreePort(port + 1, 17)) {
            return true;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

class SipEndToEnd : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!Sipp::available()) {
            GTEST_SKIP() << "sipp is not installed";
        }
        manager = std::make_unique<SipManager>(PaTest::freeRtpPort());
        manager->setLocalIp("127.0.0.1");
        manager->setBindAddress("127.0.0.1");
        ASSERT_EQ(manager->init(PaTest::freeUdpPort(), 1), 0);
    }
    void TearDown() override { manager.reset(); }

    SipChannel *addAccount(int registrarPort, const char *user = "1001", const char *password = "secret")
    {
        manager->lock();
        SipChannel *channel = manager->addChannel("127.0.0.1", registrarPort, user, user, user, password);
        if (channel) {
            channel->setObserver(&observer);
        }
        manager->unlock();
        return channel;
    }

    QString agent() const { return "127.0.0.1:" + QString::number(manager->listenPort()); }

    Observer observer;
    std::unique_ptr<SipManager> manager;
};

TEST_F(SipEndToEnd, RegistersWithDigestAndRefreshesBeforeTheGrantRunsOut)
{
    // The registrar grants 8 s of the 360 s asked for.
    Sipp registrar;
    registrar.start("reg_digest_uas.xml", PaTest::freeUdpPort(), {"-key", "user", "1001", "-key", "password", "secret"});
    ASSERT_TRUE(registrar.waitListening());
    ASSERT_TRUE(addAccount(registrar.port()));

    ASSERT_TRUE(observer.waitFor("registered", 1, 5000));
    ASSERT_TRUE(observer.waitFor("registered", 2, 12000)) << registrar.errors();
    const std::vector<Clock::time_point> at = observer.times("registered");
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(at[1] - at[0]).count(), 8000);
    EXPECT_EQ(registrar.finish(), 0) << registrar.errors();
    EXPECT_EQ(observer.count("registerFailed"), 0);
}

TEST_F(SipEndToEnd, AnswersACallWithTheToneAndEndsOnTheCallersBye)
{
    PaTest::UdpPeer registrar; // swallows the account's REGISTERs
    ASSERT_TRUE(addAccount(registrar.port()));
    PaTest::UdpPeer rtp(PaTest::freeRtpPort());

    Sipp caller;
    caller.start("uac_call.xml", PaTest::freeUdpPort(),
                 {agent(), "-s", "1001", "-key", "rtpport", QString::number(rtp.port()), "-d", "2000"});
    const Heard heard = listen(rtp, SipPayload("PCMU", 0, 8000, 1), 60);
    EXPECT_EQ(caller.finish(), 0) << caller.errors();

    EXPECT_GE(heard.packets, 60);
    EXPECT_EQ(heard.types.size(), 1u);
    EXPECT_EQ(heard.types.count(0), 1u);
    // The decoded audio is the device's 1 kHz tone.
    EXPECT_GT(Tone::goertzelShare(heard.pcm, 1000.0, 8000), 0.8);
    EXPECT_LT(Tone::goertzelShare(heard.pcm, 700.0, 8000), 0.05);

    EXPECT_TRUE(observer.waitFor("closed"));
    EXPECT_TRUE(observer.waitFor("removed"));
    EXPECT_EQ(observer.count("stopped"), 1);
    EXPECT_TRUE(waitPortFree(observer.audioPort()));
}

TEST_F(SipEndToEnd, CallsTheCalleeSendsTheToneAndHangsUp)
{
    Sipp callee;
    PaTest::UdpPeer rtp(PaTest::freeRtpPort());
    // Two SIPp calls: the account's REGISTER and the INVITE.
    callee.start("uas_callee.xml", PaTest::freeUdpPort(), {"-key", "rtpport", QString::number(rtp.port())}, "127.0.0.1",
                 2);
    ASSERT_TRUE(callee.waitListening()) << callee.errors();
    SipChannel *channel = addAccount(callee.port());
    ASSERT_TRUE(channel);
    ASSERT_TRUE(observer.waitFor("registered", 1, 5000)) << callee.errors();

    manager->lock();
    SipCall *call = channel->createCall();
    call->setRemoteNumber("3001");
    call->setLocalPorts(channel->nextRtpPort(), channel->nextRtpPort());
    const int cid = channel->invite(call, SipPayload::defaultAudioPayloads(), nullptr);
    channel->addCall(call);
    manager->unlock();
    ASSERT_GT(cid, 0);

    ASSERT_TRUE(observer.waitFor("started")) << callee.errors();
    const Heard heard = listen(rtp, SipPayload("PCMA", 8, 8000, 1), 50);
    EXPECT_GE(heard.packets, 50);
    EXPECT_EQ(heard.types.count(8), 1u);
    EXPECT_GT(Tone::goertzelShare(heard.pcm, 1000.0, 8000), 0.8);

    manager->lock();
    channel->terminateCall("3001");
    manager->unlock();
    EXPECT_EQ(callee.finish(), 0) << callee.errors();
    EXPECT_TRUE(observer.waitFor("removed"));
    EXPECT_TRUE(waitPortFree(observer.audioPort()));
}

TEST_F(SipEndToEnd, VanishedCallerIsEndedByTheTimers)
{
    manager->setRtpTimeoutMs(1000);
    PaTest::UdpPeer registrar;
    ASSERT_TRUE(addAccount(registrar.port()));
    PaTest::UdpPeer rtp(PaTest::freeRtpPort());

    Sipp caller;
    caller.start("uac_vanish.xml", PaTest::freeUdpPort(),
                 {agent(), "-s", "1001", "-key", "rtpport", QString::number(rtp.port())});
    EXPECT_EQ(caller.finish(), 0) << caller.errors();
    ASSERT_TRUE(observer.waitFor("started"));
    // One second without RTP, then the next 2 s pass ends the call.
    EXPECT_TRUE(observer.waitFor("removed", 1, 6000));
    EXPECT_EQ(observer.count("stopped"), 1);
    EXPECT_TRUE(waitPortFree(observer.audioPort()));
}

TEST_F(SipEndToEnd, RefusedInvites)
{
    PaTest::UdpPeer registrar;
    ASSERT_TRUE(addAccount(registrar.port()));
    struct Case
    {
        const char *scenario;
        const char *ip;
    } cases[] = {
        {"invite_nosdp_uac.xml", "127.0.0.1"},
        {"invite_unsupported_uac.xml", "127.0.0.1"},
        {"invite_stranger_uac.xml", "127.0.0.2"},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.scenario);
        Sipp caller;
        caller.start(c.scenario, PaTest::freeUdpPort(), {agent(), "-s", "1001", "-key", "rtpport", "4000"}, c.ip);
        // Each scenario passes only on its expected refusal.
        EXPECT_EQ(caller.finish(), 0) << caller.errors();
    }
    EXPECT_EQ(observer.count("invite"), 0);
}

} // namespace
