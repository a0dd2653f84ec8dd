// Stream-fed call legs: CPU that one zone account's call costs per 20 ms
// frame when its source is a stream URL (read and decoded on the "Url Read"
// thread, resampled to the call format, handed to the call and encoded), next
// to the same decode, resample and encode done inline without the reader
// thread and queue. CPU is that of the whole process, so the reader thread's
// share is counted.
//
// cpu_pct_per_leg = CPU per frame / 20 ms: share of one core for one leg.
//
// BM_SourceToFrameLatency: a live 8 kHz WAV stream served over loopback HTTP
// at its own pace turns from silence to a tone once the call has played it
// for 2.5 s; the time from the first tone byte sent to the first loud frame
// the call takes, pulling one frame every 20 ms as its RTP send thread does
// (ms). startup_ms: from opening the source to its first frame.
//
// BM_IdleRegisteredZone: the whole agent with one zone account signed in at
// a loopback registrar and no call, left alone: process CPU in % of one core
// and wake-ups per second (context switches of its live threads, less the
// benchmark's own sleeping thread).
#include "BenchQuietMain.h"
#include "BenchSmoke.h"
#include "LiveWavServer.h"
#include "PASipAudioFormat.h"
#include "PASipDevice.h"
#include "PASipManager.h"
#include "PASipStreamReader.h"
#include "RDAudioTranscoder.h"
#include "SipAudioEncoder.h"
#include "SipFrameQueue.h"
#include "SipPayload.h"
#include "SipStreamFrame.h"

#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QProcess>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>

#include <atomic>
#include <cmath>
#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <string>
#include <unistd.h>
#include <memory>
#include <thread>
#include <vector>

namespace {

SipPayload callPayload(int which)
{
    SipPayload p;
    if (which == 0) {
        p.setName("opus");
        p.setNumber(102);
        p.setClockRate(48000);
        p.setChannels(2);
    } else {
        p.setName("PCMU");
        p.setNumber(0);
        p.setClockRate(8000);
        p.setChannels(1);
    }
    return p;
}

// A 60 s MP3 (44.1 kHz stereo, 128 kbit/s) of music-like partials, made once.
QString sourceFile()
{
    static const QString path = [] {
        const QString p = QDir::temp().filePath(QStringLiteral("pa-bench-source-%1.mp3").arg(qint64(::getpid())));
        QProcess::execute(QStringLiteral("ffmpeg"),
                          {"-hide_banner", "-loglevel", "error", "-nostdin", "-y", "-f", "lavfi", "-i",
                           "aevalsrc=0.3*sin(2*PI*220*t)+0.2*sin(2*PI*660*t)+0.1*sin(2*PI*1875*t):s=44100:d=60",
                           "-ac", "2", "-b:a", "128k", p});
        return p;
    }();
    return path;
}

// Process CPU over the measured loop, per 20 ms frame, as % of one core.
class ProcessCpu
{
public:
    ProcessCpu() : m_start(now()) {}
    void report(benchmark::State &state) const
    {
        if (state.iterations() > 0)
            state.counters["cpu_pct_per_leg"] = (now() - m_start) / double(state.iterations()) / 0.02 * 100.0;
    }
    // CPU seconds since construction.
    double seconds() const { return now() - m_start; }

private:
    static double now()
    {
        timespec ts {};
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return double(ts.tv_sec) + ts.tv_nsec / 1e9;
    }
    double m_start;
};

void BM_UrlLeg(benchmark::State &state)
{
    const SipPayload payload = callPayload(int(state.range(0)));
    state.SetLabel(payload.name());
    if (!QFile::exists(sourceFile())) {
        state.SkipWithError("no ffmpeg to make the source");
        return;
    }
    std::unique_ptr<SipAudioEncoder> encoder(SipAudioEncoder::create(payload));
    // The file plays again at once when it ends: the figure is the steady
    // state, not the reopening pause.
    PASipStreamReader::setRetryDelayMs(0);
    PASipDevice device;
    device.setSourceUrl(sourceFile());
    device.openAudioSource(payload);
    uint8_t out[7680];
    const ProcessCpu cpu;
    for (auto _ : state) {
        std::unique_ptr<SipStreamFrame> frame;
        while (!(frame.reset(device.readAudio(20)), frame))
            std::this_thread::sleep_for(std::chrono::milliseconds(2)); // reader catching up: no CPU
        benchmark::DoNotOptimize(encoder->encode(reinterpret_cast<const int16_t *>(frame->data()), frame->size(),
                                                 out, sizeof(out)));
    }
    device.closeAudioSource();
    cpu.report(state);
}

// The same work inline: demux, decode, resample, re-block and encode.
void BM_BareDecodeEncode(benchmark::State &state)
{
    const SipPayload payload = callPayload(int(state.range(0)));
    state.SetLabel(payload.name());
    AVFormatContext *input = nullptr;
    if (avformat_open_input(&input, sourceFile().toUtf8().constData(), nullptr, nullptr) < 0
        || avformat_find_stream_info(input, nullptr) < 0) {
        state.SkipWithError("no source");
        return;
    }
    const PASipAudioFormat format = PASipAudioFormat::forPayload(payload);
    AVCodecParameters *target = format.parameters();
    RDAudioTranscoder transcoder;
    transcoder.open(input->streams[0]->codecpar, target);
    avcodec_parameters_free(&target);
    std::unique_ptr<SipAudioEncoder> encoder(SipAudioEncoder::create(payload));
    SipFrameQueue queue;
    std::vector<uint8_t> carry;
    AVPacket *packet = av_packet_alloc();
    uint8_t out[7680];
    const ProcessCpu cpu;
    for (auto _ : state) {
        std::unique_ptr<SipStreamFrame> frame(queue.pop());
        while (!frame) {
            if (av_read_frame(input, packet) < 0) {
                av_seek_frame(input, -1, 0, AVSEEK_FLAG_BACKWARD);
                continue;
            }
            transcoder.pushPacket(packet);
            av_packet_unref(packet);
            format.drain(transcoder, carry, queue);
            frame.reset(queue.pop());
        }
        benchmark::DoNotOptimize(encoder->encode(reinterpret_cast<const int16_t *>(frame->data()), frame->size(),
                                                 out, sizeof(out)));
    }
    av_packet_free(&packet);
    transcoder.close();
    avformat_close_input(&input);
    cpu.report(state);
}


// Answers every REGISTER on `fd` 200 with the expiry asked for, until `wake`
// is signalled. Sleeps in poll: it adds no wake-ups of its own.
void answerRegisters(int fd, int wake)
{
    char buffer[4096];
    for (;;) {
        pollfd fds[2] = {{fd, POLLIN, 0}, {wake, POLLIN, 0}};
        if (::poll(fds, 2, -1) < 0 || fds[1].revents)
            return;
        sockaddr_in from {};
        socklen_t fromLength = sizeof(from);
        const ssize_t n = ::recvfrom(fd, buffer, sizeof(buffer) - 1, 0, reinterpret_cast<sockaddr *>(&from), &fromLength);
        if (n <= 0)
            continue;
        const std::string request(buffer, size_t(n));
        if (request.compare(0, 9, "REGISTER ") != 0)
            continue;
        std::string reply = "SIP/2.0 200 OK\r\n";
        size_t at = request.find("\r\n");
        while (at != std::string::npos && at + 2 < request.size()) {
            const size_t end = request.find("\r\n", at + 2);
            if (end == std::string::npos || end == at + 2)
                break;
            const std::string line = request.substr(at + 2, end - at - 2);
            for (const char *name : {"Via:", "From:", "Call-ID:", "CSeq:", "Contact:", "Expires:"})
                if (strncasecmp(line.c_str(), name, strlen(name)) == 0)
                    reply += line + "\r\n";
            if (strncasecmp(line.c_str(), "To:", 3) == 0)
                reply += line + ";tag=bench\r\n";
            at = end;
        }
        reply += "Content-Length: 0\r\n\r\n";
        ::sendto(fd, reply.data(), reply.size(), 0, reinterpret_cast<sockaddr *>(&from), fromLength);
    }
}

// Context switches of the process's live threads other than the caller.
long long otherThreadsSwitches()
{
    const QString self = QString::number(qint64(::gettid()));
    long long total = 0;
    const QDir tasks(QStringLiteral("/proc/self/task"));
    for (const QString &task : tasks.entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        if (task == self)
            continue;
        QFile status(tasks.filePath(task + QStringLiteral("/status")));
        if (!status.open(QIODevice::ReadOnly))
            continue;
        for (const QByteArray &line : status.readAll().split('\n'))
            if (line.contains("ctxt_switches:"))
                total += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
    }
    return total;
}

void BM_SourceToFrameLatency(benchmark::State &state)
{
    const SipPayload payload = callPayload(1); // PCMU: the frame is plain 8 kHz PCM to look at
    double lowest = 1e9, highest = 0, startup = 0;
    for (auto _ : state) {
        LiveWavServer server(8000);
        PASipDevice device;
        device.setSourceUrl(server.url());
        const auto opened = std::chrono::steady_clock::now();
        device.openAudioSource(payload);
        double latencyMs = -1;
        std::chrono::steady_clock::time_point firstFrame;
        // One frame every 20 ms, as the call's RTP send thread takes them.
        auto tick = opened;
        const auto deadline = opened + std::chrono::seconds(20);
        while (tick < deadline) {
            tick += std::chrono::milliseconds(20);
            std::this_thread::sleep_until(tick);
            std::unique_ptr<SipStreamFrame> frame(device.readAudio(20));
            if (!frame)
                continue;
            const auto now = std::chrono::steady_clock::now();
            if (firstFrame == std::chrono::steady_clock::time_point())
                firstFrame = now;
            // The tone starts once the source has played for a while: the
            // figure is the delay of a running source, not its start-up.
            if (now - firstFrame > std::chrono::milliseconds(2500))
                server.startTone();
            const int16_t *pcm = reinterpret_cast<const int16_t *>(frame->data());
            int peak = 0;
            for (int k = 0; k < frame->size() / 2; ++k)
                peak = std::max(peak, std::abs(int(pcm[k])));
            const auto toneAt = server.toneSentAt();
            if (peak > 3000 && toneAt != std::chrono::steady_clock::time_point()) {
                latencyMs = std::chrono::duration<double, std::milli>(now - toneAt).count();
                break;
            }
        }
        device.closeAudioSource();
        if (latencyMs < 0) {
            state.SkipWithError("no tone came through");
            return;
        }
        state.SetIterationTime(latencyMs / 1000.0);
        lowest = std::min(lowest, latencyMs);
        highest = std::max(highest, latencyMs);
        startup += std::chrono::duration<double, std::milli>(firstFrame - opened).count();
    }
    // The time column is the mean.
    state.counters["min_ms"] = lowest;
    state.counters["max_ms"] = highest;
    state.counters["startup_ms"] = startup / double(state.iterations());
}

void BM_IdleRegisteredZone(benchmark::State &state)
{
    const int registrar = ::socket(AF_INET, SOCK_DGRAM, 0);
    sockaddr_in address {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    if (::bind(registrar, reinterpret_cast<sockaddr *>(&address), length) != 0
        || ::getsockname(registrar, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(registrar);
        state.SkipWithError("no loopback socket");
        return;
    }
    const int registrarPort = ntohs(address.sin_port);
    const int wake = ::eventfd(0, EFD_CLOEXEC);
    std::thread answering(answerRegisters, registrar, wake);
    bool registered = false;
    if (PASipManager::createInstance(QStringLiteral("127.0.0.1"), 47020, 47100, QStringLiteral("127.0.0.1"))) {
        PASipManager *sip = PASipManager::instance();
        sip->lock();
        sip->registerSourceAccount("127.0.0.1", registrarPort, "4001", "pw", sourceFile(), RDCoreDevice(), nullptr,
                                   QString(), 100);
        sip->unlock();
        for (int i = 0; i < 50 && !registered; ++i) {
            registered = sip->isRegistered("127.0.0.1", registrarPort, "4001");
            if (!registered)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
    }
    if (registered) {
        // Let the sign-in's own traffic settle before measuring.
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const ProcessCpu cpu;
        const long long before = otherThreadsSwitches();
        const auto start = std::chrono::steady_clock::now();
        for (auto _ : state)
            std::this_thread::sleep_for(std::chrono::milliseconds(500));
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const long long others = otherThreadsSwitches() - before;
        state.counters["cpu_pct"] = cpu.seconds() / seconds * 100.0;
        state.counters["wakeups_per_s"] = double(others) / seconds;
    } else {
        state.SkipWithError("the zone account did not sign in");
    }
    PASipManager::destroyInstance();
    const uint64_t one = 1;
    (void)::write(wake, &one, sizeof(one));
    answering.join();
    ::close(wake);
    ::close(registrar);
}

BENCHMARK(BM_UrlLeg)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareDecodeEncode)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SourceToFrameLatency)->Iterations(BenchSmoke::count(5))->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_IdleRegisteredZone)->Iterations(BenchSmoke::count(8))->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    const int rc = runBenchmarksQuietly(argc, argv);
    QFile::remove(sourceFile());
    return rc;
}
