// A call's media on loopback: negotiation, codecs on the wire in both
// directions, pacing, the packets a call must shrug off, and the ways a
// call ends (finished source, silence, stop).
#include "RtpPacket.h"
#include "RtpSession.h"
#include "SipCall.h"
#include "SipFrameQueue.h"
#include "SipG711.h"
#include "SipPayload.h"
#include "SipRtpSession.h"
#include "SipStreamDevice.h"
#include "SipStreamFrame.h"
#include "TestSupport.h"
#include "Tone.h"
#include "UdpPeer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
using PaTest::UdpPeer;

bool waitFor(const std::function<bool()> &done, int ms = 3000)
{
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!done()) {
        if (Clock::now() > end) {
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A device whose source is a queue the test fills and whose sink keeps all
// it is given. A call stops its device when it ends, so tests declare their
// devices before their calls.
class TestDevice : public SipStreamDevice
{
public:
    int openAudioSource(const SipPayload &p) override
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_rate = p.clockRate();
        m_channels = p.channels();
        ++sourceOpens;
        return 0;
    }
    void closeAudioSource() override { ++sourceCloses; }
    int openAudioSink(const SipPayload &p) override
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_sinkPayloads.push_back(p.number());
        return 0;
    }
    SipStreamFrame *readAudio(int) override
    {
        ++reads;
        return source.pop();
    }
    int writeAudio(const int16_t *pcm, int bytes, uint32_t) override
    {
        std::lock_guard<std::mutex> g(m_lock);
        m_received.insert(m_received.end(), pcm, pcm + bytes / 2);
        ++writes;
        return 0;
    }
    bool isSourceFinished() override { return finished; }

    // Queues `frames` 20 ms frames of a tone in the source format.
    void queueTone(double hz, int frames)
    {
        std::lock_guard<std::mutex> g(m_lock);
        const int n = m_rate / 50;
        for (int f = 0; f < frames; ++f, m_frame += n) {
            const auto pcm = Tone::sine(hz, m_rate, m_channels, n, 8000.0, m_frame);
            source.push(new SipStreamFrame(pcm.data(), int32_t(pcm.size() * 2), 0.02));
        }
    }
    std::vector<int16_t> received()
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_received;
    }
    std::vector<int> sinkPayloads()
    {
        std::lock_guard<std::mutex> g(m_lock);
        return m_sinkPayloads;
    }

    SipFrameQueue source;
    std::atomic<int> reads{0};
    std::atomic<int> writes{0};
    std::atomic<int> sourceOpens{0};
    std::atomic<int> sourceCloses{0};
    std::atomic<bool> finished{false};

private:
    std::mutex m_lock;
    int m_rate = 8000;
    int m_channels = 1;
    long m_frame = 0;
    std::vector<int16_t> m_received;
    std::vector<int> m_sinkPayloads;
};

SipPayloadList *only(const char *name)
{
    std::unique_ptr<SipPayloadList> all(SipPayload::defaultAudioPayloads());
    auto *list = new SipPayloadList;
    list->append(new SipPayload(*SipPayload::findByName(all.get(), name)));
    return list;
}

// A call set up to send to 127.0.0.1:remotePort from a free local pair.
std::unique_ptr<SipCall> makeCall(SipPayloadList *local, SipPayloadList *remote, int remotePort, int localPort = 0)
{
    auto call = std::make_unique<SipCall>();
    call->setLocalPayloads(local, nullptr);
    call->setRemotePayloads(remote, nullptr);
    call->setLocalPorts(localPort ? localPort : PaTest::freeRtpPort(), 0);
    call->setRemoteAddress("127.0.0.1", remotePort, nullptr, 0);
    call->setBindAddress("127.0.0.1");
    return call;
}

// The frequency heard in the steady part of a sink's audio.
double heard(const std::vector<int16_t> &pcm, int rate, int channels)
{
    const size_t skip = size_t(rate / 10) * channels;
    if (pcm.size() <= skip) {
        return 0.0;
    }
    return Tone::frequency(Tone::channel(std::vector<int16_t>(pcm.begin() + skip, pcm.end()), channels), rate);
}

class CallPair : public ::testing::TestWithParam<const char *>
{
};

// The answering side carries only the codec under test; the offer is the
// agent's full default one. Each side hears the other's tone.
TEST_P(CallPair, EachSideHearsTheOthersTone)
{
    TestDevice da, db;
    const char *codec = GetParam();
    const int portA = PaTest::freeRtpPort();
    int portB = PaTest::freeRtpPort();
    while (portB == portA) {
        portB = PaTest::freeRtpPort();
    }
    auto a = makeCall(SipPayload::defaultAudioPayloads(), only(codec), portB, portA);
    auto b = makeCall(only(codec), SipPayload::defaultAudioPayloads(), portA, portB);
    ASSERT_EQ(a->start(), 0);
    ASSERT_EQ(b->start(), 0);
    ASSERT_NE(a->selectedLocalAudioPayload(), nullptr);
    EXPECT_STREQ(a->selectedLocalAudioPayload()->name(), codec);
    EXPECT_STREQ(b->selectedLocalAudioPayload()->name(), codec);
    EXPECT_GT(a->startTime(), 0.0);

    a->setDevice(&da);
    b->setDevice(&db);
    const SipPayload *p = a->selectedLocalAudioPayload();
    const int rate = p->clockRate(), channels = p->channels();
    da.queueTone(1000, 25);
    db.queueTone(600, 25);
    const size_t want = size_t(rate) * channels * 4 / 10; // 400 ms
    EXPECT_TRUE(waitFor([&] { return da.received().size() >= want && db.received().size() >= want; }));
    EXPECT_NEAR(heard(db.received(), rate, channels), 1000, 10) << codec;
    EXPECT_NEAR(heard(da.received(), rate, channels), 600, 6) << codec;
    const auto st = b->audioSession()->rtp().stats();
    EXPECT_EQ(st.lost + st.duplicates + st.late + st.malformed, 0u);
    a->stop();
    b->stop();
    EXPECT_FALSE(a->isStarted());
    EXPECT_EQ(da.sourceCloses, 1);
    EXPECT_EQ(a->device(), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CallPair, ::testing::Values("PCMU", "PCMA", "G722", "GSM", "opus"));

struct WireCase
{
    const char *codec;
    int frames;
    uint32_t step;
    int pt;
};

void PrintTo(const WireCase &c, std::ostream *os)
{
    *os << c.codec;
}

class CallOnTheWire : public ::testing::TestWithParam<WireCase>
{
};

// A source that has all its frames ready at once is sent at real time:
// contiguous sequence numbers, one timestamp step per 20 ms, one SSRC.
TEST_P(CallOnTheWire, PacedNumberedAndStamped)
{
    TestDevice dev;
    const WireCase c = GetParam();
    UdpPeer peer;
    ASSERT_TRUE(peer.isOpen());
    auto call = makeCall(only(c.codec), only(c.codec), peer.port());
    ASSERT_EQ(call->start(), 0);
    call->setDevice(&dev);
    const Clock::time_point queued = Clock::now();
    dev.queueTone(1000, c.frames);
    std::vector<RtpPacket> got;
    std::vector<Clock::time_point> at;
    for (int i = 0; i < c.frames; ++i) {
        const auto d = peer.receive(2000);
        ASSERT_FALSE(d.empty()) << "packet " << i;
        at.push_back(Clock::now());
        got.emplace_back();
        ASSERT_TRUE(got.back().parse(d.data(), int(d.size())));
    }
    for (size_t i = 1; i < got.size(); ++i) {
        EXPECT_EQ(got[i].sequence(), uint16_t(got[0].sequence() + i));
        EXPECT_EQ(got[i].timestamp() - got[i - 1].timestamp(), c.step);
        EXPECT_EQ(got[i].ssrc(), got[0].ssrc());
        EXPECT_EQ(got[i].payloadType(), c.pt);
    }
    // Never faster than real time: the last frame cannot arrive before its
    // time counted from when the frames were queued (a late first read of
    // the test's own does not shorten that). A loaded machine may stretch
    // the span a little (the sender re-anchors rather than bursting).
    const double real = (c.frames - 1) * 0.02;
    EXPECT_GE(std::chrono::duration<double>(at.back() - queued).count(), real - 0.01);
    const double span = std::chrono::duration<double>(at.back() - at.front()).count();
    EXPECT_LE(span, real * 1.25 + 0.04);
}

INSTANTIATE_TEST_SUITE_P(Codecs, CallOnTheWire,
                         ::testing::Values(WireCase{"opus", 101, 960, 102}, WireCase{"PCMU", 26, 160, 0},
                                           WireCase{"G722", 6, 160, 9}),
                         [](const ::testing::TestParamInfo<WireCase> &info) {
                             return std::string(info.param.codec);
                         });

// After the source ran dry the frames that come later are not sent in a
// burst to catch up, and the send thread does not spin while it waits.
TEST(SipCall, UnderrunNeitherSpinsNorBursts)
{
    TestDevice dev;
    UdpPeer peer;
    auto call = makeCall(only("PCMU"), only("PCMU"), peer.port());
    ASSERT_EQ(call->start(), 0);
    call->setDevice(&dev);
    dev.queueTone(1000, 5);
    for (int i = 0; i < 5; ++i) {
        ASSERT_FALSE(peer.receive(2000).empty());
    }
    const int readsBefore = dev.reads;
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    const int idleReads = dev.reads - readsBefore;
    EXPECT_LT(idleReads, 150) << "the send thread polls its source too often";
    EXPECT_GT(idleReads, 10) << "the send thread stopped asking";

    dev.queueTone(1000, 20);
    const auto t0 = Clock::now();
    for (int i = 0; i < 20; ++i) {
        ASSERT_FALSE(peer.receive(2000).empty());
    }
    const double span = std::chrono::duration<double>(Clock::now() - t0).count();
    EXPECT_GT(span, 19 * 0.02 - 0.03) << "frames queued after an underrun went out in a burst";
}

// Telephone events and comfort noise mid-call leave the decoder and the
// sink alone; a known payload type switches both. All of it comes from the
// peer's own address (the session keeps no other source).
TEST(SipCall, ForeignPayloadTypesDoNotDisturbDecoding)
{
    TestDevice db;
    UdpPeer peer;
    const int portB = PaTest::freeRtpPort();
    auto b = makeCall(SipPayload::defaultAudioPayloads(), only("PCMU"), peer.port(), portB);
    ASSERT_EQ(b->start(), 0);
    b->setDevice(&db);
    uint8_t buf[200];
    // `frames` 20 ms mu-law frames of a 1 kHz tone, sent in real time.
    uint16_t seq = 100;
    const auto sendTone = [&](int frames) {
        for (int f = 0; f < frames; ++f, ++seq) {
            uint8_t ulaw[160];
            for (int i = 0; i < 160; ++i) {
                const double t = (double(seq) * 160 + i) / 8000;
                ulaw[i] = SipG711::linearToUlaw(int16_t(8000 * std::sin(2 * M_PI * 1000 * t)));
            }
            const int n = RtpPacket::write(0, false, seq, seq * 160u, 0x111, ulaw, 160, buf, sizeof(buf));
            ASSERT_TRUE(peer.sendTo(portB, buf, n));
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    };
    sendTone(10);
    ASSERT_TRUE(waitFor([&] { return db.writes >= 5; }));
    const std::vector<uint8_t> event = {0x01, 0x0A, 0x00, 0xA0};
    const std::vector<uint8_t> noise = {0x40};
    for (int i = 0; i < 5; ++i) {
        int n = RtpPacket::write(101, i == 0, uint16_t(500 + i), 1000, 0xABC, event.data(), 4, buf, 64);
        peer.sendTo(portB, buf, n);
        n = RtpPacket::write(13, false, uint16_t(600 + i), 1000, 0xABD, noise.data(), 1, buf, 64);
        peer.sendTo(portB, buf, n);
    }
    sendTone(20);
    ASSERT_TRUE(waitFor([&] { return db.writes >= 25; }));
    EXPECT_EQ(db.sinkPayloads(), std::vector<int>{0}) << "the sink was reopened";
    EXPECT_NEAR(heard(db.received(), 8000, 1), 1000, 10);

    // PCMA is in b's offer: a packet of it switches decoder and sink.
    std::vector<uint8_t> alaw(160, 0xD5);
    const int n = RtpPacket::write(8, false, 1, 1, 0xABE, alaw.data(), 160, buf, sizeof(buf));
    peer.sendTo(portB, buf, n);
    ASSERT_TRUE(waitFor([&] { return db.sinkPayloads().size() >= 2; }));
    EXPECT_EQ(db.sinkPayloads()[1], 8);
}

// Media that flows before a device is attached is dropped, nothing is
// sent, and attaching the device starts both directions.
TEST(SipCall, NoDeviceYet)
{
    TestDevice db;
    TestDevice da;
    const int portA = PaTest::freeRtpPort();
    const int portB = PaTest::freeRtpPort();
    auto a = makeCall(only("PCMA"), only("PCMA"), portB, portA);
    auto b = makeCall(only("PCMA"), only("PCMA"), portA, portB);
    ASSERT_EQ(a->start(), 0);
    ASSERT_EQ(b->start(), 0);
    b->setDevice(&db);
    db.queueTone(700, 20);
    ASSERT_TRUE(waitFor([&] { return a->audioSession()->rtp().stats().received >= 5; }));
    EXPECT_EQ(a->audioSession()->rtp().stats().sent, 0u);
    a->setDevice(&da);
    da.queueTone(900, 10);
    EXPECT_TRUE(waitFor([&] { return da.writes >= 3 && db.writes >= 3; }));
    EXPECT_EQ(da.sourceOpens, 1);
}

TEST(SipCall, StartRefusals)
{
    auto invalid = makeCall(only("PCMU"), only("PCMU"), 40000);
    invalid->setInvalid(true);
    EXPECT_EQ(invalid->start(), -1);
    EXPECT_FALSE(invalid->isStarted());

    auto noMatch = makeCall(only("PCMU"), only("PCMA"), 40000);
    EXPECT_EQ(noMatch->start(), -1);
    EXPECT_FALSE(noMatch->isStarted());

    // Remote port 0 (a refused stream): the session cannot start.
    auto portZero = makeCall(only("PCMU"), only("PCMU"), 0);
    EXPECT_EQ(portZero->start(), -1);
    EXPECT_FALSE(portZero->isStarted());

    // The remote order decides between codecs both sides have.
    auto order = makeCall(SipPayload::defaultAudioPayloads(), [] {
        auto *l = new SipPayloadList;
        l->append(new SipPayload("PCMA", 8, 8000, 1));
        l->append(new SipPayload("opus", 111, 48000, 2));
        return l;
    }(), 40000);
    ASSERT_EQ(order->start(), 0);
    EXPECT_STREQ(order->selectedLocalAudioPayload()->name(), "PCMA");
    EXPECT_EQ(order->selectedRemoteAudioPayload()->number(), 8);
}

TEST(SipCall, FinishedSourceAndSilenceMakeTheCallInvalid)
{
    TestDevice dev;
    UdpPeer peer;
    auto finished = makeCall(only("PCMU"), only("PCMU"), peer.port());
    ASSERT_EQ(finished->start(), 0);
    finished->setDevice(&dev);
    dev.queueTone(1000, 3);
    dev.finished = true;
    EXPECT_TRUE(waitFor([&] { return finished->isInvalid(); }, 1000));
    EXPECT_EQ(finished->start(), -1);

    auto silent = makeCall(only("PCMU"), only("PCMU"), peer.port());
    silent->setReceiveTimeout(200);
    ASSERT_EQ(silent->start(), 0);
    EXPECT_FALSE(silent->isInvalid());
    EXPECT_TRUE(waitFor([&] { return silent->isInvalid(); }, 2000));
}

// Stop ends both threads, says BYE on RTCP, closes the device and gives
// the ports back.
TEST(SipCall, StopSaysByeAndFreesThePorts)
{
    TestDevice dev;
    const int remote = PaTest::freeRtpPort();
    UdpPeer rtpIn(remote), rtcpIn(remote + 1);
    ASSERT_TRUE(rtpIn.isOpen() && rtcpIn.isOpen());
    auto call = makeCall(only("PCMU"), only("PCMU"), remote);
    ASSERT_EQ(call->start(), 0);
    call->setDevice(&dev);
    dev.queueTone(1000, 2);
    const auto first = rtpIn.receive(2000);
    RtpPacket p;
    ASSERT_TRUE(p.parse(first.data(), int(first.size())));
    const auto t0 = Clock::now();
    call->stop();
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(500));
    EXPECT_FALSE(call->isStarted());
    EXPECT_EQ(dev.sourceCloses, 1);
    const auto bye = rtcpIn.receive(2000);
    ASSERT_EQ(bye.size(), 16u);
    EXPECT_EQ(bye[9], 203);
    const uint32_t ssrc = (uint32_t(bye[12]) << 24) | (uint32_t(bye[13]) << 16) | (uint32_t(bye[14]) << 8) | bye[15];
    EXPECT_EQ(ssrc, p.ssrc());
    RtpSession again;
    EXPECT_EQ(again.open("127.0.0.1", call->localAudioPort()), 0);
}

// Capture of what the video depacketiser hands on.
class NalSink : public SipRtspSessionObserver
{
public:
    double onRtpSend(SipRtpSession *) override { return 0; }
    void onRtpPacket(SipRtpSession *, const RtpPacket &, const uint8_t *payload, int length, uint32_t) override
    {
        nals.emplace_back(payload, payload + length);
    }
    void onRtpTimeout(SipRtpSession *) override {}
    std::vector<std::vector<uint8_t>> nals;
};

TEST(SipRtpSession, H264FragmentsAreRebuiltAndBadOnesDropped)
{
    SipRtpSession s;
    NalSink sink;
    s.setObserver(&sink);
    auto feed = [&s](std::vector<uint8_t> payload) {
        uint8_t buf[256];
        const int n = RtpPacket::write(96, false, 1, 1, 1, payload.data(), int(payload.size()), buf, sizeof(buf));
        RtpPacket p;
        EXPECT_TRUE(p.parse(buf, n));
        return s.handleVideoPacket(p);
    };
    EXPECT_EQ(feed({0x65, 1, 2, 3}), 4);   // single NAL, type 5
    EXPECT_EQ(feed({0x78, 0, 2, 9, 9}), 5); // STAP-A whole
    EXPECT_EQ(feed({0x79, 1}), 0);          // STAP-B dropped
    EXPECT_EQ(feed({0x7C}), 0);             // FU without its header
    EXPECT_EQ(feed({0x7C, 0x05, 7}), 0);    // continuation without a start
    EXPECT_EQ(feed({0x7C, 0x85, 1, 2}), 0); // start, type 5
    EXPECT_EQ(feed({0x7C, 0x05, 3}), 0);
    EXPECT_EQ(feed({0x7C, 0x45, 4}), 5); // end: header + 4 bytes
    ASSERT_EQ(sink.nals.size(), 3u);
    EXPECT_EQ(sink.nals[2], (std::vector<uint8_t>{0x65, 1, 2, 3, 4}));
    EXPECT_EQ(feed({0x7C, 0x45, 4}), 0); // an end after the end
}

} // namespace
