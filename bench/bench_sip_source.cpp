// Stream-fed call legs: CPU that one zone account's call costs per 20 ms
// frame when its source is a stream URL (read and decoded on the "Url Read"
// thread, resampled to the call format, handed to the call and encoded), next
// to the same decode, resample and encode done inline without the reader
// thread and queue. CPU is that of the whole process, so the reader thread's
// share is counted.
//
// cpu_pct_per_leg = CPU per frame / 20 ms: share of one core for one leg.
#include "BenchQuietMain.h"
#include "BenchSmoke.h"
#include "PASipAudioFormat.h"
#include "PASipDevice.h"
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

#include <chrono>
#include <ctime>
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

BENCHMARK(BM_UrlLeg)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_BareDecodeEncode)->Arg(0)->Arg(1)->MeasureProcessCPUTime()->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    const int rc = runBenchmarksQuietly(argc, argv);
    QFile::remove(sourceFile());
    return rc;
}
