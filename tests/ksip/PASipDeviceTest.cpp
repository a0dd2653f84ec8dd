// The application SIP device between a call and a zone's sources and
// listeners: silence without a source, app talk at its own pitch and never
// interleaved with the stream, a talk session that goes away, audio
// forwarded to listening apps and published as MP3.
#include "FakeAppSession.h"
#include "FakeAudioBackend.h"
#include "PASipClientReader.h"
#include "PASipDevice.h"
#include "PASipManager.h"
#include "PASipStreamReader.h"
#include "RDCoreDevice.h"
#include "RDHttpStreamServer.h"
#include "SipPayload.h"
#include "SipStreamFrame.h"
#include "TestSupport.h"
#include "ToneMedia.h"

#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QThread>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <thread>

namespace {

SipPayload payload(const char *name, int rate, int channels)
{
    SipPayload p;
    p.setName(name);
    p.setClockRate(rate);
    p.setChannels(channels);
    return p;
}

const SipPayload kPcmu = payload("PCMU", 8000, 1);
const SipPayload kOpus = payload("opus", 48000, 2);

int peak(const SipStreamFrame &f)
{
    const int16_t *s = reinterpret_cast<const int16_t *>(f.data());
    int m = 0;
    for (int i = 0; i < f.size() / 2; ++i)
        m = std::max(m, std::abs(int(s[i])));
    return m;
}

// Reads frames until `ms` of audio came or `timeoutMs` passed.
std::vector<int16_t> readFor(PASipDevice &device, int ms, int timeoutMs, bool skipSilence = false)
{
    std::vector<int16_t> pcm;
    QElapsedTimer t;
    t.start();
    int got = 0;
    while (got < ms && t.elapsed() < timeoutMs && !device.isSourceFinished()) {
        std::unique_ptr<SipStreamFrame> f(device.readAudio(20));
        if (!f || (skipSilence && peak(*f) == 0)) {
            QThread::msleep(5);
            continue;
        }
        const int16_t *s = reinterpret_cast<const int16_t *>(f->data());
        pcm.insert(pcm.end(), s, s + f->size() / 2);
        got += int(f->duration() * 1000 + 0.5);
    }
    return pcm;
}

// 20 ms talk frames of a 1000 Hz tone in the app codec `code`.
std::vector<std::vector<uint8_t>> talkFrames(uint32_t code, int ms, double amplitude = 8000.0)
{
    std::vector<std::vector<uint8_t>> frames;
    if (code == 9) {
        const QByteArray g722 = ToneMedia::ffmpeg({"-f", "lavfi", "-i",
                                                   QStringLiteral("sine=frequency=1000:duration=%1").arg(ms / 1000.0),
                                                   "-ar", "16000", "-ac", "1", "-c:a", "g722", "-f", "g722", "pipe:1"});
        for (int i = 0; i + 160 <= g722.size(); i += 160)
            frames.emplace_back(g722.constData() + i, g722.constData() + i + 160);
        return frames;
    }
    const std::vector<int16_t> pcm = Tone::sine(1000.0, 8000, 1, 8 * ms, amplitude);
    for (size_t i = 0; i + 160 <= pcm.size(); i += 160) {
        std::vector<uint8_t> f;
        for (size_t k = i; k < i + 160; ++k)
            f.push_back(code == 8 ? SipG711::linearToAlaw(pcm[k]) : SipG711::linearToUlaw(pcm[k]));
        frames.push_back(f);
    }
    return frames;
}

class SipDeviceTest : public ::testing::Test
{
protected:
    void TearDown() override
    {
        PASipClientReader::setSilenceTimeoutMs(20000);
        PASipManager::setHttpStreamServer(nullptr);
    }
};

TEST_F(SipDeviceTest, WithoutAnySourceEveryFrameIsSilenceOfTheCallFormat)
{
    for (const SipPayload &p : {kPcmu, kOpus}) {
        SCOPED_TRACE(p.name());
        PASipDevice device;
        ASSERT_EQ(device.openAudioSource(p), 0);
        for (int i = 0; i < 3; ++i) {
            std::unique_ptr<SipStreamFrame> f(device.readAudio(20));
            ASSERT_TRUE(f);
            EXPECT_EQ(f->size(), p.clockRate() == 48000 ? 3840 : 320);
            EXPECT_DOUBLE_EQ(f->duration(), 0.020);
            EXPECT_EQ(peak(*f), 0);
        }
        EXPECT_FALSE(device.isSourceFinished());
    }
}

TEST_F(SipDeviceTest, AppTalkIsHeardAtItsOwnPitchAndPace)
{
    const struct {
        const char *name;
        uint32_t code;
        SipPayload call;
    } cases[] = {
        {"mu-law into PCMU", 0, kPcmu},
        {"A-law into PCMU", 8, kPcmu},
        {"G.722 into PCMU", 9, kPcmu},
        {"G.722 into opus", 9, kOpus},
    };
    // The reader ends soon after the last frame, so the whole talk is read.
    PASipClientReader::setSilenceTimeoutMs(300);
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        auto app = std::make_shared<FakeAppSession>();
        const auto frames = talkFrames(c.code, 1000);
        ASSERT_GE(frames.size(), size_t(49));
        for (const auto &f : frames)
            app->talk(c.code, f);
        PASipDevice device;
        device.setTalkSession(app);
        ASSERT_EQ(device.openAudioSource(c.call), 0);
        ASSERT_TRUE(device.hasTalkReader());
        // One second spoken is one second sent: read what came out.
        const int rate = c.call.clockRate() == 48000 ? 48000 : 8000;
        const int channels = rate == 48000 ? 2 : 1;
        std::vector<int16_t> pcm = readFor(device, 2000, 3000, true);
        const double seconds = double(pcm.size()) / channels / rate;
        EXPECT_NEAR(seconds, 1.0, 0.1);
        std::vector<double> x = Tone::channel(pcm, channels);
        x.erase(x.begin(), x.begin() + std::min(x.size(), size_t(rate / 20)));
        EXPECT_NEAR(Tone::frequency(x, rate), 1000.0, 10.0);
    }
}

TEST_F(SipDeviceTest, TalkReplacesTheStreamWholeAndTheStreamComesBackScaled)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("music.wav");
    ASSERT_TRUE(ToneMedia::writeWav(wav, 400.0, 8000, 5000, 20000.0));
    PASipDevice device;
    device.setSourceUrl(wav);
    ASSERT_EQ(device.openAudioSource(kPcmu), 0);
    std::vector<int16_t> music = readFor(device, 200, 5000);
    ASSERT_FALSE(music.empty());

    auto app = std::make_shared<FakeAppSession>();
    device.startTalk(app);
    EXPECT_TRUE(device.hasTalkReader());
    // Talk arrives in uneven bursts with gaps between them; the music must
    // not fill the gaps.
    const auto frames = talkFrames(0, 1200, 3000.0);
    size_t next = 0;
    int talkHeard = 0;
    for (int round = 0; round < 120; ++round) {
        if (round % 4 == 0)
            for (int k = 0; k < 3 && next < frames.size(); ++k)
                app->talk(0, frames[next++]);
        std::unique_ptr<SipStreamFrame> f(device.readAudio(20));
        if (f) {
            EXPECT_LT(peak(*f), 10000) << "stream audio between talk frames, round " << round;
            talkHeard += peak(*f) > 1000 ? 1 : 0;
        }
        QThread::msleep(3);
    }
    EXPECT_GT(talkHeard, 10);

    device.stopTalk();
    EXPECT_FALSE(device.hasTalkReader());
    device.setVolume(50);
    int loud = 0;
    for (int i = 0; i < 200 && loud < 5; ++i) {
        std::unique_ptr<SipStreamFrame> f(device.readAudio(20));
        if (f && peak(*f) > 1000) {
            EXPECT_NEAR(peak(*f), 10000, 400) << "volume 50 halves the stream";
            ++loud;
        } else {
            QThread::msleep(5);
        }
    }
    EXPECT_EQ(loud, 5);
}

TEST_F(SipDeviceTest, ATalkSessionThatGoesAwayFreesTheCallSource)
{
    PASipClientReader::setSilenceTimeoutMs(300);
    for (bool closeIt : {true, false}) {
        SCOPED_TRACE(closeIt ? "session closes mid-talk" : "session falls silent");
        auto app = std::make_shared<FakeAppSession>();
        PASipDevice device;
        device.setTalkSession(app);
        ASSERT_EQ(device.openAudioSource(kPcmu), 0);
        app->talk(0, std::vector<uint8_t>(77, 0x55)); // a partial frame
        if (closeIt)
            app->setOpen(false);
        EXPECT_TRUE(PaTest::waitUntil([&] {
            std::unique_ptr<SipStreamFrame> f(device.readAudio(20));
            return device.isSourceFinished();
        }, 5000));
        EXPECT_FALSE(device.hasTalkReader());
        EXPECT_EQ(app.use_count(), 2) << "only the test and the device's setting hold the session";
    }
}

TEST_F(SipDeviceTest, ListeningAppsGetMuLawFramesOfTheCallAudio)
{
    for (const SipPayload &p : {kPcmu, kOpus}) {
        SCOPED_TRACE(p.name());
        const int rate = p.clockRate() == 48000 ? 48000 : 8000;
        const int channels = rate == 48000 ? 2 : 1;
        auto app = std::make_shared<FakeAppSession>();
        PASipDevice device;
        ASSERT_EQ(device.openAudioSink(p), 0);
        device.startListen(app);
        for (int i = 0; i < 50; ++i) {
            const auto pcm = Tone::sine(1000.0, rate, channels, rate / 50, 8000.0, long(i) * (rate / 50));
            device.writeAudio(pcm.data(), int(pcm.size() * 2), 0);
        }
        const std::vector<KelAudioFrame> sent = app->waitSent(45, 3000);
        ASSERT_GE(sent.size(), size_t(45));
        std::vector<double> x;
        for (const KelAudioFrame &f : sent) {
            EXPECT_EQ(f.codec, 0u);
            EXPECT_EQ(f.channels, 1u);
            EXPECT_EQ(f.sampleRate, 8000u);
            EXPECT_EQ(f.length, 160);
            const auto d = ToneMedia::fromUlaw(f.payload(), f.length);
            x.insert(x.end(), d.begin(), d.end());
        }
        x.erase(x.begin(), x.begin() + 400);
        EXPECT_NEAR(Tone::frequency(x, 8000), 1000.0, 5.0);

        // A closed session gets nothing more; stopListen ends forwarding.
        app->setOpen(false);
        const size_t before = sent.size();
        const auto more = Tone::sine(1000.0, rate, channels, rate / 10);
        device.writeAudio(more.data(), int(more.size() * 2), 0);
        EXPECT_EQ(app->waitSent(before + 1, 200).size(), before);
        device.stopListen();
    }
}

// Reads an HTTP stream response until `bytes` of body arrived.
QByteArray readStream(QTcpSocket &s, int bytes, int timeoutMs)
{
    QByteArray all;
    QElapsedTimer t;
    t.start();
    int head = -1;
    while (t.elapsed() < timeoutMs) {
        if (s.bytesAvailable() == 0 && !s.waitForReadyRead(200))
            continue;
        all += s.readAll();
        if (head < 0)
            head = all.indexOf("\r\n\r\n");
        if (head >= 0 && all.size() - head - 4 >= bytes)
            break;
    }
    return head >= 0 ? all.mid(head + 4) : QByteArray();
}

TEST_F(SipDeviceTest, ReceivedAudioIsPublishedAsMp3ThatDecodesToTheTone)
{
    auto server = std::make_shared<RDHttpStreamServer>();
    RDHttpServerConfigure config;
    config.host = "127.0.0.1";
    config.port = PaTest::freeTcpPort();
    server->setConfigure(config);
    ASSERT_EQ(server->start(), 0);
    PASipManager::setHttpStreamServer(server);

    PASipDevice device;
    device.setPublishPath("3001");
    ASSERT_EQ(device.openAudioSink(kPcmu), 0);
    ASSERT_TRUE(device.isPublishing());

    QTcpSocket a, b;
    for (QTcpSocket *s : {&a, &b}) {
        s->connectToHost("127.0.0.1", quint16(config.port));
        ASSERT_TRUE(s->waitForConnected(3000));
        s->write("GET /stream/3001 HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        ASSERT_TRUE(s->waitForBytesWritten(3000));
    }
    ASSERT_TRUE(PaTest::waitUntil([&] { return server->connectionCount() >= 2; }, 3000));
    // Two seconds of call audio at the call's pace.
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        for (int i = 0; i < 150 && writing.load(); ++i) {
            const auto pcm = Tone::sine(1000.0, 8000, 1, 160, 8000.0, long(i) * 160);
            device.writeAudio(pcm.data(), 320, 0);
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
    });
    const QByteArray mp3a = readStream(a, 12000, 8000);
    const QByteArray mp3b = readStream(b, 12000, 8000);
    writing.store(false);
    writer.join();
    for (const QByteArray &mp3 : {mp3a, mp3b}) {
        ASSERT_GE(mp3.size(), 12000);
        std::vector<double> x = ToneMedia::decodeToMono8k(mp3);
        ASSERT_GT(x.size(), size_t(4000));
        x.erase(x.begin(), x.begin() + 1000);
        EXPECT_NEAR(Tone::frequency(x, 8000), 1000.0, 5.0);
    }
    device.closeAudioSink();
    EXPECT_FALSE(device.isPublishing());
    server->stop();
}

TEST_F(SipDeviceTest, ASoundEndpointFeedsTheCallCanBeSwitchedLiveAndItsLossEndsTheReader)
{
    FakeAudioBackend backend;
    backend.addEndpoint("mic.usb", "USB Microphone", 0, 1000.0, 0.5);
    backend.addEndpoint("line.in", "Line In", 0, 500.0, 0.5);
    PASipDevice device;
    device.setSoundSource("mic.usb", 0);
    ASSERT_EQ(device.openAudioSource(kPcmu), 0);
    ASSERT_TRUE(device.hasCardReader());
    std::vector<double> x = Tone::channel(readFor(device, 400, 5000, true), 1);
    ASSERT_GE(x.size(), size_t(3000));
    EXPECT_NEAR(Tone::frequency(x, 8000), 1000.0, 5.0);

    device.setCaptureDevice(RDCoreDevice("line.in", "Line In", 0));
    EXPECT_TRUE(PaTest::waitUntil([&] {
        const std::vector<double> y = Tone::channel(readFor(device, 200, 2000, true), 1);
        return y.size() > 1000 && std::abs(Tone::frequency(y, 8000) - 500.0) < 5.0;
    }, 5000));

    // The endpoint goes away: its reader stops, and as the only source the
    // call's source has finished.
    backend.removeEndpoint("line.in");
    EXPECT_TRUE(PaTest::waitUntil([&] {
        std::unique_ptr<SipStreamFrame> f(device.readAudio(20));
        return device.isSourceFinished();
    }, 5000));
    device.closeAudioSource();
    EXPECT_FALSE(device.hasCardReader());
}

TEST_F(SipDeviceTest, ReceivedAudioPlaysOnThePcAtItsPitch)
{
    FakeAudioBackend backend;
    backend.addEndpoint("spk.front", "Front Speakers", 1);
    PASipDevice device;
    device.setPlayReceived(true);
    ASSERT_EQ(device.openAudioSink(kPcmu), 0);
    std::atomic<bool> writing{true};
    std::thread writer([&] {
        // Call audio arrives at its own pace: frames keep to a fixed schedule
        // (a little ahead of the endpoint), so a late wake-up on a loaded
        // machine is made up rather than carried on as a gap.
        const auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < 100 && writing.load(); ++i) {
            const auto pcm = Tone::sine(1000.0, 8000, 1, 160, 8000.0, long(i) * 160);
            device.writeAudio(pcm.data(), 320, 0);
            std::this_thread::sleep_until(start + std::chrono::milliseconds(20 * i - 60));
        }
    });
    const bool played = backend.waitPlayedFrames(48000, 5000);
    writing.store(false);
    writer.join();
    device.closeAudioSink();
    ASSERT_TRUE(played);
    // Endpoint format: 48 kHz stereo float. Leave out the silence before
    // the first call audio arrived.
    const std::vector<float> out = backend.played();
    std::vector<double> left;
    for (size_t i = 0; i + 1 < out.size(); i += 2)
        left.push_back(out[i] * 32768.0);
    const auto first = std::find_if(left.begin(), left.end(), [](double v) { return std::abs(v) > 100; });
    ASSERT_NE(first, left.end());
    std::vector<double> x(first, left.end());
    ASSERT_GT(x.size(), size_t(24000)) << "first audio at " << (first - left.begin()) << " of " << left.size();
    // A period the call audio did not fill in time plays silent, so the
    // tone is measured by its share, not by zero crossings.
    // On a loaded machine a late period also cuts the tone, which spreads
    // some of its energy; the pitch is still the one that stands out (a
    // wrong rate would put it at 500 or 2000 Hz, nowhere near 1000).
    x.resize(24000);
    const double at1000 = Tone::goertzelShare(x, 1000.0, 48000);
    EXPECT_GT(at1000, 0.35);
    EXPECT_GT(at1000, 3 * Tone::goertzelShare(x, 900.0, 48000));
    EXPECT_LT(Tone::goertzelShare(x, 500.0, 48000), 0.1);
    EXPECT_LT(Tone::goertzelShare(x, 2000.0, 48000), 0.1);
}

TEST_F(SipDeviceTest, WithoutAnHttpServerNothingIsPublished)
{
    PASipDevice device;
    device.setPublishPath("3001");
    EXPECT_EQ(device.openAudioSink(kPcmu), 0);
    EXPECT_FALSE(device.isPublishing());
    const auto pcm = Tone::sine(1000.0, 8000, 1, 160);
    EXPECT_EQ(device.writeAudio(pcm.data(), 320, 0), 320);
}

} // namespace
