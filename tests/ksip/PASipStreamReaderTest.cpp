// The "Url Read" source: what a stream URL that works gives the call, and
// that a URL that refuses, hangs or answers garbage neither blocks whoever
// stops the reader nor ends it, and is tried again after the retry delay.
#include "LiveWavServer.h"
#include "PASipAudioFormat.h"
#include "PASipStreamReader.h"
#include "SipStreamFrame.h"
#include "StubStreamServer.h"
#include "TestSupport.h"
#include "ToneMedia.h"

#include <QElapsedTimer>
#include <QThread>
#include <QTemporaryDir>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <thread>

namespace {

class StreamReaderTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        m_retry = PASipStreamReader::retryDelayMs();
        m_io = PASipStreamReader::ioTimeoutMs();
    }
    void TearDown() override
    {
        PASipStreamReader::setRetryDelayMs(m_retry);
        PASipStreamReader::setIoTimeoutMs(m_io);
    }

    // Collects `ms` of audio from the reader, waiting at most `timeoutMs`.
    static std::vector<int16_t> collect(PASipStreamReader &reader, int ms, int timeoutMs, int expectedBytes)
    {
        std::vector<int16_t> pcm;
        QElapsedTimer t;
        t.start();
        int got = 0;
        while (got < ms && t.elapsed() < timeoutMs) {
            std::unique_ptr<SipStreamFrame> f(reader.pop());
            if (!f) {
                QThread::msleep(5);
                continue;
            }
            EXPECT_EQ(f->size(), expectedBytes);
            EXPECT_DOUBLE_EQ(f->duration(), 0.020);
            const int16_t *s = reinterpret_cast<const int16_t *>(f->data());
            pcm.insert(pcm.end(), s, s + f->size() / 2);
            got += 20;
        }
        return pcm;
    }

    // Pops up to `n` frames as they come, waiting at most `timeoutMs`;
    // returns how many came.
    static int popFrames(PASipStreamReader &reader, int n, int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        int frames = 0;
        while (frames < n && t.elapsed() < timeoutMs) {
            std::unique_ptr<SipStreamFrame> f(reader.pop());
            frames += f ? 1 : 0;
            if (!f)
                QThread::msleep(5);
        }
        return frames;
    }

    // A 1 kHz tone of `ms` as an 8 kHz WAV file's bytes.
    static QByteArray toneWav(int ms)
    {
        QTemporaryDir dir;
        const QString wav = dir.filePath("tone.wav");
        QFile wf(wav);
        if (!ToneMedia::writeWav(wav, 1000.0, 8000, ms) || !wf.open(QIODevice::ReadOnly))
            return QByteArray();
        return wf.readAll();
    }

    int m_retry = 0;
    int m_io = 0;
};

TEST_F(StreamReaderTest, SourcesDecodeToTheirToneInTheCallFormat)
{
    QTemporaryDir dir;
    const QString wav = dir.filePath("tone.wav");
    ASSERT_TRUE(ToneMedia::writeWav(wav, 1000.0, 16000, 1500));
    QFile wf(wav);
    ASSERT_TRUE(wf.open(QIODevice::ReadOnly));
    const QByteArray wavBytes = wf.readAll();
    const QByteArray mp3 = ToneMedia::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=1000:duration=2", "-f", "mp3", "pipe:1"});
    const QByteArray ogg =
        ToneMedia::ffmpeg({"-f", "lavfi", "-i", "sine=frequency=1000:duration=2", "-c:a", "libopus", "-f", "ogg", "pipe:1"});
    ASSERT_FALSE(mp3.isEmpty());
    ASSERT_FALSE(ogg.isEmpty());

    const struct {
        const char *name;
        QByteArray body;
        PASipAudioFormat target;
    } cases[] = {
        {"wav to 8 kHz", wavBytes, PASipAudioFormat(8000, 1)},
        {"mp3 to 8 kHz", mp3, PASipAudioFormat(8000, 1)},
        {"ogg opus to 48 kHz stereo", ogg, PASipAudioFormat(48000, 2)},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        StubStreamServer server(StubStreamServer::Serve, c.body);
        PASipStreamReader reader(QString::fromLatin1(server.url()), c.target);
        reader.start();
        const std::vector<int16_t> pcm = collect(reader, 1000, 10000, c.target.bytesFor(20));
        ASSERT_GE(pcm.size(), size_t(c.target.rate() * c.target.channels() * 9 / 10));
        // Skip the encoder's start-up, then compare the tone.
        std::vector<double> x = Tone::channel(pcm, c.target.channels());
        x.erase(x.begin(), x.begin() + c.target.rate() / 10);
        EXPECT_NEAR(Tone::frequency(x, c.target.rate()), 1000.0, 5.0);
        EXPECT_GT(Tone::goertzelShare(x, 1000.0, c.target.rate()), 0.9);
        EXPECT_FALSE(reader.isFinished());
        // Served at once, it is never taken for live.
        EXPECT_NE(reader.pace(), PASipStreamReader::Live);
    }
}

TEST_F(StreamReaderTest, FailingUrlsAreRetriedAndNeverHoldUpTheStop)
{
    PASipStreamReader::setRetryDelayMs(100);
    PASipStreamReader::setIoTimeoutMs(300);
    const struct {
        const char *name;
        StubStreamServer::Mode mode;
    } cases[] = {{"never answers", StubStreamServer::Hang}, {"answers garbage", StubStreamServer::Garbage}};
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        StubStreamServer server(c.mode);
        auto reader = std::make_unique<PASipStreamReader>(QString::fromLatin1(server.url()), PASipAudioFormat(8000, 1));
        reader->start();
        // Each failure is followed by another attempt: the time-out bounds
        // a source that never answers.
        EXPECT_TRUE(server.waitConnections(3, 5000)) << server.connections();
        EXPECT_EQ(reader->pop(), nullptr);
        EXPECT_FALSE(reader->isFinished());
        QElapsedTimer t;
        t.start();
        reader.reset();
        EXPECT_LT(t.elapsed(), 1000);
    }

    // A refused connection is retried as well.
    const int closedPort = PaTest::freeTcpPort();
    PASipStreamReader refused(QStringLiteral("http://127.0.0.1:%1/live").arg(closedPort), PASipAudioFormat(8000, 1));
    refused.start();
    QThread::msleep(300);
    EXPECT_FALSE(refused.isFinished());
}

TEST_F(StreamReaderTest, StopEndsAnOpenThatWouldWaitForTheFullTimeOut)
{
    PASipStreamReader::setIoTimeoutMs(10000);
    StubStreamServer server(StubStreamServer::Hang);
    auto reader = std::make_unique<PASipStreamReader>(QString::fromLatin1(server.url()), PASipAudioFormat(8000, 1));
    reader->start();
    ASSERT_TRUE(server.waitConnections(1, 5000));
    QElapsedTimer t;
    t.start();
    reader->stop();
    reader->wait();
    EXPECT_LT(t.elapsed(), 1000);
    EXPECT_TRUE(reader->isFinished());
}

TEST_F(StreamReaderTest, AnEndedSourceOpensAgainAfterTheRetryDelay)
{
    PASipStreamReader::setRetryDelayMs(600);
    const QByteArray wav = toneWav(100);
    ASSERT_FALSE(wav.isEmpty());
    StubStreamServer server(StubStreamServer::Serve, wav);
    PASipStreamReader reader(QString::fromLatin1(server.url()), PASipAudioFormat(8000, 1));
    reader.start();
    ASSERT_TRUE(server.waitConnections(1, 5000));
    QElapsedTimer t;
    t.start();
    EXPECT_EQ(popFrames(reader, 5, 5000), 5);
    EXPECT_TRUE(server.waitConnections(2, 5000));
    EXPECT_GE(t.elapsed(), 550) << "reopened before the retry delay";
}

// A source that gives its audio faster than real time loses none of it,
// however long the call leaves it waiting in the queue.
TEST_F(StreamReaderTest, AFileServedAtOnceIsPlayedWhole)
{
    PASipStreamReader::setRetryDelayMs(3000);
    const QByteArray wav = toneWav(PASipStreamReader::kReadAheadMs + 2000);
    ASSERT_FALSE(wav.isEmpty());
    StubStreamServer server(StubStreamServer::Serve, wav);
    PASipStreamReader reader(QString::fromLatin1(server.url()), PASipAudioFormat(8000, 1));
    reader.start();
    ASSERT_TRUE(server.waitConnections(1, 5000));
    // Longer than a live source's backlog may stand.
    QThread::msleep(PASipStreamReader::kLiveWindowMs * 3 / 2);
    const int frames = (PASipStreamReader::kReadAheadMs + 2000) / 20;
    EXPECT_EQ(popFrames(reader, frames, 5000), frames);
    EXPECT_EQ(reader.pace(), PASipStreamReader::Paced);
    EXPECT_EQ(server.connections(), 1) << "the file was not read in one go";
}

// A live source reaches the call with a short delay: what it sent while it
// was opened, and any backlog, is dropped rather than played late. The call
// takes one frame every 20 ms; the tone starts once the source has played
// for a while.
TEST_F(StreamReaderTest, ALiveSourceReachesTheCallWithinAShortDelay)
{
    const struct {
        const char *name;
        int burstMs;
    } cases[] = {
        // 24 kHz: the WAV demuxer reads 1.4 s of it before the first frame.
        {"read ahead by the open", 0},
        {"server's burst at the start", 3000},
    };
    using Clock = std::chrono::steady_clock;
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        LiveWavServer server(24000, c.burstMs);
        PASipStreamReader reader(server.url(), PASipAudioFormat(8000, 1));
        reader.start();
        const auto deadline = Clock::now() + std::chrono::seconds(15);
        Clock::time_point firstFrame, heard;
        auto tick = Clock::now();
        while (tick < deadline && heard == Clock::time_point()) {
            tick += std::chrono::milliseconds(20);
            std::this_thread::sleep_until(tick);
            std::unique_ptr<SipStreamFrame> f(reader.pop());
            if (!f)
                continue;
            const auto now = Clock::now();
            if (firstFrame == Clock::time_point())
                firstFrame = now;
            if (now - firstFrame > std::chrono::milliseconds(PASipStreamReader::kLiveWindowMs * 5 / 2))
                server.startTone();
            const int16_t *s = reinterpret_cast<const int16_t *>(f->data());
            int peak = 0;
            for (int k = 0; k < f->size() / 2; ++k)
                peak = std::max(peak, std::abs(int(s[k])));
            if (peak > 3000 && server.toneSentAt() != Clock::time_point())
                heard = now;
        }
        ASSERT_NE(heard, Clock::time_point()) << "the tone never reached the call";
        EXPECT_EQ(reader.pace(), PASipStreamReader::Live);
        EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(heard - server.toneSentAt()).count(), 1500);
    }
}

} // namespace
