// The program's SIP agent against SIPp, an independent SIP implementation,
// on loopback: a zone's account signs in at a SIPp registrar, which then
// calls the address the account registered; the zone's stream, an MP3 sine
// served over HTTP, must reach the RTP port named in SIPp's offer at the
// source's pitch, and SIPp's BYE ends the call. A phone app talking G.711
// and G.722 over the WebSocket transport into that call is heard there at
// its own pitch. SIPp runs with its own
// -timeout, is reaped by pid, and every wait here is bounded in seconds.
#include "KelServerObserver.h"
#include "PASipManager.h"
#include "RDSocketAddress.h"
#include "RtpPacket.h"
#include "SippProcess.h"
#include "StubStreamServer.h"
#include "TestSupport.h"
#include "ToneMedia.h"
#include "UdpPeer.h"
#include "WSRawClient.h"
#include "WSServer.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// The next datagram at `rtp` within 200 ms, decoded when it is PCMU RTP.
// 0: nothing came; -1: something that is not PCMU; 1: `out` holds it.
int nextUlaw(PaTest::UdpPeer &rtp, std::vector<double> *out)
{
    const std::vector<uint8_t> data = rtp.receive(200);
    if (data.empty())
        return 0;
    RtpPacket p;
    if (!p.parse(data.data(), int(data.size())) || p.payloadType() != 0)
        return -1;
    *out = ToneMedia::fromUlaw(p.payload(), p.payloadLength());
    return 1;
}

// `ms` of PCMU audio arriving at `rtp`, decoded; also counts packets that
// are not PCMU.
std::vector<double> receiveUlaw(PaTest::UdpPeer &rtp, int ms, int timeoutMs, int *foreign)
{
    std::vector<double> x, d;
    QElapsedTimer t;
    t.start();
    while (int(x.size()) < ms * 8 && t.elapsed() < timeoutMs) {
        const int got = nextUlaw(rtp, &d);
        if (got < 0)
            ++*foreign;
        else if (got > 0)
            x.insert(x.end(), d.begin(), d.end());
    }
    return x;
}

// The app's side of the WebSocket transport sees the server's sessions.
class SessionCatcher : public KelServerObserver
{
public:
    void onSessionConnected(KelServer *, std::shared_ptr<KelClient> session) override
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_session = session;
    }
    std::shared_ptr<KelClient> session()
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_session;
    }

private:
    std::mutex m_lock;
    std::shared_ptr<KelClient> m_session;
};

// A masked binary WebSocket frame with one app audio frame: kind byte 1,
// codec, channels, 16-bit rate, 32-bit timestamp, then the payload.
std::string appAudioFrame(int codec, int rate, uint32_t timestamp, const uint8_t *payload, int length)
{
    std::string m(1, '\x01');
    m += char(codec);
    m += char(1);
    m += char(rate >> 8);
    m += char(rate & 0xff);
    for (int i = 3; i >= 0; --i)
        m += char((timestamp >> (8 * i)) & 0xff);
    m.append(reinterpret_cast<const char *>(payload), size_t(length));
    const uint8_t mask[4] = {0x12, 0x34, 0x56, 0x78};
    std::string f(1, char(0x82));
    if (m.size() < 126) {
        f += char(0x80 | m.size());
    } else {
        f += char(0x80 | 126);
        f += char(m.size() >> 8);
        f += char(m.size() & 0xff);
    }
    f.append(reinterpret_cast<const char *>(mask), 4);
    for (size_t i = 0; i < m.size(); ++i)
        f += char(uint8_t(m[i]) ^ mask[i % 4]);
    return f;
}

class PASipSipp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SippProcess::available())
            GTEST_SKIP() << "sipp is not installed";
        m_mp3 = ToneMedia::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=1000:duration=20", "-f", "mp3", "pipe:1"});
        ASSERT_FALSE(m_mp3.isEmpty()) << "ffmpeg made no MP3";
        ASSERT_EQ(PASipManager::instance(), nullptr);
        ASSERT_TRUE(PASipManager::createInstance(QStringLiteral("127.0.0.1"), PaTest::freeUdpPort(),
                                                 PaTest::freeRtpPort(), QStringLiteral("127.0.0.1")));
        m_sip = PASipManager::instance();
        ASSERT_NE(m_sip, nullptr);
    }
    void TearDown() override { PASipManager::destroyInstance(); }

    // Starts SIPp as registrar and caller with its media at `rtp`, and signs
    // zone 4001 in there with `sourceUrl`. True once registered.
    bool signInAtSipp(SippProcess &sipp, PaTest::UdpPeer &rtp, const QString &sourceUrl)
    {
        m_sippPort = PaTest::freeUdpPort();
        if (!sipp.start({"-sf", std::string(KSIP_SIP_FIXTURES) + "/register_then_call_uas.xml", "-i", "127.0.0.1",
                         "-mi", "127.0.0.1", "-p", std::to_string(m_sippPort), "-m", "1", "-nostdin", "-timeout",
                         "20s", "-timeout_error", "-set", "rtp", std::to_string(rtp.port())}))
            return false;
        // The REGISTER is retransmitted until SIPp has bound its socket.
        m_sip->lock();
        PASipChannel *zone = m_sip->registerSourceAccount("127.0.0.1", m_sippPort, "4001", "pw-4001", sourceUrl,
                                                          RDCoreDevice(), nullptr, QString(), 100);
        m_sip->unlock();
        return zone && PaTest::waitUntil([&] { return m_sip->isRegistered("127.0.0.1", m_sippPort, "4001"); }, 5000);
    }
    bool callEnded()
    {
        return PaTest::waitUntil(
            [&] {
                PASipManager::Account a;
                return m_sip->account("127.0.0.1", m_sippPort, "4001", &a) && a.calls == 0;
            },
            3000);
    }

    PASipManager *m_sip = nullptr;
    QByteArray m_mp3;
    int m_sippPort = 0;
};

TEST_F(PASipSipp, ARegisteredZoneCalledBySippSendsItsStreamAtTheSourcePitch)
{
    StubStreamServer stream(StubStreamServer::Serve, m_mp3);
    PaTest::UdpPeer rtp(PaTest::freeRtpPort());
    ASSERT_TRUE(rtp.isOpen());
    SippProcess sipp;
    ASSERT_TRUE(signInAtSipp(sipp, rtp, QString::fromUtf8(stream.url())));

    int foreign = 0;
    const std::vector<double> all = receiveUlaw(rtp, 1500, 4000, &foreign);
    ASSERT_GE(all.size(), size_t(11000)) << "too little PCMU reached SIPp's media port";
    // The decoder's start-up ramp is left out of the pitch.
    const std::vector<double> x(all.begin() + 4000, all.end());
    EXPECT_EQ(foreign, 0) << "packets that are not PCMU went to a PCMU-only offer";
    EXPECT_GT(Tone::goertzelShare(x, 1000.0, 8000), 0.5);
    EXPECT_NEAR(Tone::frequency(x, 8000), 1000.0, 5.0);

    // SIPp hangs up after 4 s; its exit code says every step matched.
    EXPECT_EQ(sipp.wait(15000), 0) << "SIPp's scenario failed";
    EXPECT_TRUE(callEnded()) << "the call was still counted after SIPp's BYE";
    // No RTP after the hang-up: drain what was in flight, then nothing more.
    while (!rtp.receive(100).empty()) {
    }
    EXPECT_TRUE(rtp.receive(500).empty()) << "RTP went on after the BYE";
}

// The app talks 500 Hz as G.711 (8 kHz), then 750 Hz as G.722 (16 kHz) over
// a real WebSocket session; SIPp's media port hears each at its own pitch
// (G.722 taken at the wrong rate would come out at half or double).
TEST_F(PASipSipp, AppTalkOverTheWebSocketIsHeardAtItsPitchOnTheCall)
{
    const QByteArray g722 = ToneMedia::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=750:duration=2", "-ar", "16000",
                                               "-ac", "1", "-c:a", "g722", "-f", "g722", "pipe:1"});
    ASSERT_GE(g722.size(), 160 * 60) << "ffmpeg made no G.722";
    const std::vector<uint8_t> ulaw = ToneMedia::ulaw(Tone::sine(500.0, 8000, 1, 8000 * 2, 8000.0));

    WSServer server;
    SessionCatcher catcher;
    server.setAddress(RDSocketAddress("127.0.0.1", 0));
    server.addObserver(&catcher);
    ASSERT_TRUE(server.start());
    PaTest::WSRawClient app(server.listenPort());
    ASSERT_TRUE(app.isConnected());
    ASSERT_TRUE(app.handshake());
    ASSERT_TRUE(PaTest::waitUntil([&] { return catcher.session() != nullptr; }, 3000));

    StubStreamServer stream(StubStreamServer::Serve, m_mp3);
    PaTest::UdpPeer rtp(PaTest::freeRtpPort());
    ASSERT_TRUE(rtp.isOpen());
    SippProcess sipp;
    ASSERT_TRUE(signInAtSipp(sipp, rtp, QString::fromUtf8(stream.url())));
    int foreign = 0;
    ASSERT_FALSE(receiveUlaw(rtp, 100, 4000, &foreign).empty()) << "the call never started";

    // What SIPp hears, stamped with its arrival after talk began.
    using Clock = std::chrono::steady_clock;
    std::mutex heardLock;
    std::vector<std::pair<int, std::vector<double>>> heard;
    std::atomic<bool> listening{true};
    const Clock::time_point talkStart = Clock::now();
    std::thread listener([&] {
        std::vector<double> d;
        while (listening) {
            if (nextUlaw(rtp, &d) <= 0)
                continue;
            const int at =
                int(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - talkStart).count());
            std::lock_guard<std::mutex> g(heardLock);
            heard.emplace_back(at, d);
        }
    });

    m_sip->startTalk("127.0.0.1", m_sippPort, "4001", catcher.session());
    EXPECT_TRUE(m_sip->isTalking("127.0.0.1", m_sippPort, "4001"));
    // 1.2 s of each codec, a frame every 20 ms as an app sends them.
    Clock::time_point next = Clock::now();
    uint32_t timestamp = 0;
    auto talk = [&](int codec, int rate, const uint8_t *bytes) {
        for (int i = 0; i < 60; ++i, timestamp += 20) {
            ASSERT_TRUE(app.sendAll(appAudioFrame(codec, rate, timestamp, bytes + 160 * i, 160)));
            next += std::chrono::milliseconds(20);
            std::this_thread::sleep_until(next);
        }
    };
    talk(0, 8000, ulaw.data());
    talk(9, 16000, reinterpret_cast<const uint8_t *>(g722.constData()));
    m_sip->stopTalk("127.0.0.1", m_sippPort, "4001", catcher.session());
    listening = false;
    listener.join();

    // The middle of each stretch, clear of the switch-over.
    auto window = [&](int fromMs, int toMs) {
        std::vector<double> x;
        std::lock_guard<std::mutex> g(heardLock);
        for (const auto &h : heard)
            if (h.first >= fromMs && h.first < toMs)
                x.insert(x.end(), h.second.begin(), h.second.end());
        return x;
    };
    const struct
    {
        const char *codec;
        int fromMs, toMs;
        double hz;
    } stretches[] = {{"G.711", 500, 1100, 500.0}, {"G.722", 1700, 2300, 750.0}};
    for (const auto &c : stretches) {
        SCOPED_TRACE(c.codec);
        const std::vector<double> x = window(c.fromMs, c.toMs);
        ASSERT_GE(x.size(), size_t(3200)) << "too little audio while the app talked";
        EXPECT_GT(Tone::goertzelShare(x, c.hz, 8000), 0.5) << "the talk did not take the call's audio";
        EXPECT_NEAR(Tone::frequency(x, 8000), c.hz, 10.0);
    }

    EXPECT_EQ(sipp.wait(15000), 0) << "SIPp's scenario failed";
    EXPECT_TRUE(callEnded());
    server.stop();
}

} // namespace
