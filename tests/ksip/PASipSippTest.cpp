// The program's SIP agent against SIPp, an independent SIP implementation,
// on loopback: a zone's account signs in at a SIPp registrar, which then
// calls the address the account registered; the zone's stream, an MP3 sine
// served over HTTP, must reach the RTP port named in SIPp's offer at the
// source's pitch, and SIPp's BYE ends the call. SIPp runs with its own
// -timeout, is reaped by pid, and every wait here is bounded in seconds.
#include "PASipManager.h"
#include "RtpPacket.h"
#include "SippProcess.h"
#include "StubStreamServer.h"
#include "TestSupport.h"
#include "ToneMedia.h"
#include "UdpPeer.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// `ms` of PCMU audio arriving at `rtp`, decoded; also counts packets that
// are not PCMU.
std::vector<double> receiveUlaw(PaTest::UdpPeer &rtp, int ms, int timeoutMs, int *foreign)
{
    std::vector<double> x;
    QElapsedTimer t;
    t.start();
    while (int(x.size()) < ms * 8 && t.elapsed() < timeoutMs) {
        const std::vector<uint8_t> data = rtp.receive(200);
        RtpPacket p;
        if (data.empty())
            continue;
        if (!p.parse(data.data(), int(data.size())) || p.payloadType() != 0) {
            ++*foreign;
            continue;
        }
        const auto d = ToneMedia::fromUlaw(p.payload(), p.payloadLength());
        x.insert(x.end(), d.begin(), d.end());
    }
    return x;
}

class PASipSipp : public ::testing::Test
{
protected:
    void SetUp() override
    {
        if (!SippProcess::available())
            GTEST_SKIP() << "sipp is not installed";
        ASSERT_EQ(PASipManager::instance(), nullptr);
        ASSERT_TRUE(PASipManager::createInstance(QStringLiteral("127.0.0.1"), PaTest::freeUdpPort(),
                                                 PaTest::freeRtpPort(), QStringLiteral("127.0.0.1")));
        m_sip = PASipManager::instance();
        ASSERT_NE(m_sip, nullptr);
    }
    void TearDown() override { PASipManager::destroyInstance(); }

    PASipManager *m_sip = nullptr;
};

TEST_F(PASipSipp, ARegisteredZoneCalledBySippSendsItsStreamAtTheSourcePitch)
{
    const QByteArray mp3 =
        ToneMedia::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=1000:duration=20", "-f", "mp3", "pipe:1"});
    ASSERT_FALSE(mp3.isEmpty()) << "ffmpeg made no MP3";
    StubStreamServer stream(StubStreamServer::Serve, mp3);
    PaTest::UdpPeer rtp(PaTest::freeRtpPort());
    ASSERT_TRUE(rtp.isOpen());

    const int sippPort = PaTest::freeUdpPort();
    SippProcess sipp;
    ASSERT_TRUE(sipp.start({"-sf", std::string(KSIP_SIP_FIXTURES) + "/register_then_call_uas.xml", "-i",
                            "127.0.0.1", "-mi", "127.0.0.1", "-p", std::to_string(sippPort), "-m", "1",
                            "-nostdin", "-timeout", "20s", "-timeout_error", "-set", "rtp",
                            std::to_string(rtp.port())}));

    // The REGISTER is retransmitted until SIPp has bound its socket.
    m_sip->lock();
    PASipChannel *zone = m_sip->registerSourceAccount("127.0.0.1", sippPort, "4001", "pw-4001",
                                                      QString::fromUtf8(stream.url()), RDCoreDevice(), nullptr,
                                                      QString(), 100);
    m_sip->unlock();
    ASSERT_NE(zone, nullptr);
    EXPECT_TRUE(PaTest::waitUntil([&] { return m_sip->isRegistered("127.0.0.1", sippPort, "4001"); }, 5000));

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
    EXPECT_TRUE(PaTest::waitUntil(
        [&] {
            PASipManager::Account a;
            return m_sip->account("127.0.0.1", sippPort, "4001", &a) && a.calls == 0;
        },
        3000))
        << "the call was still counted after SIPp's BYE";
    // No RTP after the hang-up: drain what was in flight, then nothing more.
    while (!rtp.receive(100).empty()) {
    }
    EXPECT_TRUE(rtp.receive(500).empty()) << "RTP went on after the BYE";
}

} // namespace
