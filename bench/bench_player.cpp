// Player figures: CPU of decoding and showing a 1080p H.264 file against a
// bare FFmpeg decode of the same file, frames dropped, the CPU of one
// audio-only live stream, and the display-interval jitter of a 25 fps live
// source. Media and live sources come from the ffmpeg command-line tool.
//
//   bench_player            full run (about 40 s)
//   PA_BENCH_SMOKE=1 ...    one short pass of each, figures meaningless
#include "BenchSmoke.h"
#include "RDPlayer.h"
#include "RDPlayerObserver.h"
#include "RDThread.h"
#include "RDVideoSink.h"
#include "RDYUV420P.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <cstdio>
#include <ctime>
#include <mutex>
#include <vector>

namespace {

double cpuSeconds()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec + ts.tv_nsec / 1e9;
}

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof(address);
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof(address));
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool runFfmpeg(const QStringList &arguments)
{
    QProcess process;
    process.start("ffmpeg", QStringList{"-y", "-v", "error", "-nostdin"} + arguments);
    return process.waitForFinished(300000) && process.exitCode() == 0;
}

// Counts pictures and notes when each arrived; drops them.
class CountingSink : public RDVideoSink
{
public:
    void updateYUV420Async(RDYUV420P *picture) override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_arrivals.push_back(monotonicSeconds());
        delete picture;
    }
    std::vector<double> arrivals()
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        return m_arrivals;
    }

private:
    std::mutex m_mutex;
    std::vector<double> m_arrivals;
};

class StatusWaiter : public RDPlayerObserver
{
public:
    void onPlayerStatusChanged(int status, double, double) override
    {
        std::lock_guard<std::mutex> guard(m_mutex);
        m_seen.push_back(status);
        m_changed.notify_all();
    }
    bool waitFor(int status, double seconds)
    {
        std::unique_lock<std::mutex> guard(m_mutex);
        return m_changed.wait_for(guard, std::chrono::duration<double>(seconds),
                                  [&] { return std::find(m_seen.begin(), m_seen.end(), status) != m_seen.end(); });
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<int> m_seen;
};

// Decodes every video frame of `path` with FFmpeg alone; returns frames.
int bareDecode(const QByteArray &path)
{
    AVFormatContext *format = nullptr;
    if (avformat_open_input(&format, path.constData(), nullptr, nullptr) < 0)
        return -1;
    avformat_find_stream_info(format, nullptr);
    const int index = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    const AVCodec *codec = avcodec_find_decoder(format->streams[index]->codecpar->codec_id);
    AVCodecContext *context = avcodec_alloc_context3(codec);
    avcodec_parameters_to_context(context, format->streams[index]->codecpar);
    avcodec_open2(context, codec, nullptr);
    AVPacket *packet = av_packet_alloc();
    AVFrame *frame = av_frame_alloc();
    int frames = 0;
    auto drain = [&] {
        while (avcodec_receive_frame(context, frame) >= 0) {
            ++frames;
            av_frame_unref(frame);
        }
    };
    while (av_read_frame(format, packet) >= 0) {
        if (packet->stream_index == index && avcodec_send_packet(context, packet) >= 0)
            drain();
        av_packet_unref(packet);
    }
    avcodec_send_packet(context, nullptr);
    drain();
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&context);
    avformat_close_input(&format);
    return frames;
}

void fileFigures(const QTemporaryDir &dir)
{
    const int seconds = BenchSmoke::on() ? 1 : 10;
    const QString size = BenchSmoke::on() ? "320x240" : "1920x1080";
    const QString path = dir.filePath("hd.mp4");
    if (!runFfmpeg({"-f", "lavfi", "-i", QString("testsrc2=size=%1:rate=25:duration=%2").arg(size).arg(seconds),
                    "-c:v", "libx264", "-preset", "veryfast", "-pix_fmt", "yuv420p", path})) {
        std::printf("cannot make the test file\n");
        return;
    }
    const int total = seconds * 25;

    double before = cpuSeconds();
    const int decoded = bareDecode(path.toUtf8());
    const double bare = cpuSeconds() - before;

    CountingSink sink;
    StatusWaiter waiter;
    RDPlayer player;
    player.setVideoView(&sink);
    player.setObserver(&waiter);
    before = cpuSeconds();
    const double wallBefore = monotonicSeconds();
    player.play(path);
    waiter.waitFor(3, seconds + 30.0);
    const double wall = monotonicSeconds() - wallBefore;
    const double played = cpuSeconds() - before;
    player.stop();
    const int shown = int(sink.arrivals().size());

    std::printf("file %s, %d s at 25 fps (%d frames)\n", size.toUtf8().constData(), seconds, total);
    std::printf("  bare FFmpeg decode:   %d frames, %.1f ms CPU per second of video\n", decoded,
                bare * 1000.0 / seconds);
    std::printf("  player decode+output: %d frames shown, %d dropped, %.1f ms CPU per second of video, "
                "%.2f s wall (paced)\n",
                shown, total - shown, played * 1000.0 / seconds, wall);
}

// Starts an ffmpeg process serving a live source over HTTP on loopback.
class LiveSource
{
public:
    LiveSource(const QStringList &input, const QStringList &output, const char *container)
    {
        m_port = freePort();
        m_process.start("ffmpeg", QStringList{"-v", "error", "-nostdin", "-re"} + input + output
                                      + QStringList{"-f", container, "-listen", "1",
                                                    QString("http://127.0.0.1:%1/live").arg(m_port)});
        m_process.waitForStarted(10000);
        // The server listens a moment after the process starts.
        for (int i = 0; i < 200 && !listening(); ++i)
            RDThread::msleep(50);
    }
    ~LiveSource()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QString url() const { return QString("http://127.0.0.1:%1/live").arg(m_port); }

private:
    // Whether the server is listening yet, without taking its one connection.
    bool listening() const
    {
        QFile table("/proc/net/tcp");
        if (!table.open(QIODevice::ReadOnly))
            return false;
        const QByteArray local = QByteArray("0100007F:") + QByteArray::number(m_port, 16).toUpper().rightJustified(4, '0');
        for (const QByteArray &line : table.readAll().split('\n')) {
            const QList<QByteArray> fields = line.simplified().split(' ');
            if (fields.size() > 3 && fields[1] == local && fields[3] == "0A")
                return true;
        }
        return false;
    }

private:
    QProcess m_process;
    int m_port = 0;
};

void audioStreamFigures()
{
    const int seconds = BenchSmoke::on() ? 2 : 10;
    LiveSource source({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=44100"},
                      {"-c:a", "libmp3lame", "-b:a", "128k"}, "mp3");
    StatusWaiter waiter;
    RDPlayer player;
    player.setObserver(&waiter);
    player.play(source.url());
    RDThread::msleep(1000);
    const double before = cpuSeconds();
    RDThread::msleep(seconds * 1000);
    const double used = cpuSeconds() - before;
    player.stop();
    std::printf("audio-only live MP3 stream: %.2f ms CPU per second (%.3f %% of a core), over %d s\n",
                used * 1000.0 / seconds, used * 100.0 / seconds, seconds);
}

void liveJitterFigures()
{
    const int seconds = BenchSmoke::on() ? 2 : 15;
    LiveSource source({"-f", "lavfi", "-i", "testsrc=size=640x360:rate=25"},
                      {"-c:v", "libx264", "-preset", "ultrafast", "-tune", "zerolatency", "-g", "25"}, "mpegts");
    CountingSink sink;
    StatusWaiter waiter;
    RDPlayer player;
    player.setVideoView(&sink);
    player.setObserver(&waiter);
    player.play(source.url());
    if (!waiter.waitFor(2, 15.0)) {
        std::printf("live source did not start\n");
        return;
    }
    const double before = cpuSeconds();
    RDThread::msleep(seconds * 1000);
    const double used = cpuSeconds() - before;
    player.stop();
    std::vector<double> arrivals = sink.arrivals();
    std::vector<double> intervals;
    for (size_t i = 1; i < arrivals.size(); ++i)
        intervals.push_back((arrivals[i] - arrivals[i - 1]) * 1000.0);
    if (intervals.size() < 10) {
        std::printf("live source: too few pictures (%zu)\n", arrivals.size());
        return;
    }
    // Skip the first second: the stream's start-up burst.
    intervals.erase(intervals.begin(), intervals.begin() + std::min<size_t>(25, intervals.size() / 2));
    double sum = 0, squares = 0;
    for (double v : intervals) {
        sum += v;
        squares += v * v;
    }
    const double mean = sum / intervals.size();
    const double deviation = std::sqrt(std::max(0.0, squares / intervals.size() - mean * mean));
    std::vector<double> sorted = intervals;
    std::sort(sorted.begin(), sorted.end());
    const double p99 = sorted[size_t(0.99 * (sorted.size() - 1))];
    std::printf("live 25 fps H.264 over HTTP: %zu intervals, mean %.1f ms, sd %.1f ms, p99 %.1f ms, max %.1f ms; "
                "%.1f ms CPU per second\n",
                intervals.size(), mean, deviation, p99, sorted.back(), used * 1000.0 / seconds);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    if (!dir.isValid())
        return 1;
    fileFigures(dir);
    audioStreamFigures();
    liveJitterFigures();
    return 0;
}
