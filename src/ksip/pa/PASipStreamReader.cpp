#include "PASipStreamReader.h"

#include "RDAudioTranscoder.h"
#include "RDLog.h"
#include "SipStreamFrame.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/opt.h>
}

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <mutex>

#define URLREAD_LOG(...) RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {
std::atomic<int> s_retryDelayMs{5000};
std::atomic<int> s_ioTimeoutMs{10000};
std::once_flag s_networkInit;

int64_t steadyMs()
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}
}

PASipStreamReader::PASipStreamReader(const QString &url, const PASipAudioFormat &target)
    : m_url(url)
    , m_urlBytes(url.toUtf8())
    , m_target(target)
    , m_retryDelayMs(s_retryDelayMs.load())
    , m_ioTimeoutMs(s_ioTimeoutMs.load())
{
    setName("Url Read");
    std::call_once(s_networkInit, [] { avformat_network_init(); });
}

PASipStreamReader::~PASipStreamReader()
{
    stop();
    wait();
    closeInput();
}

void PASipStreamReader::setRetryDelayMs(int ms)
{
    s_retryDelayMs.store(ms);
}

int PASipStreamReader::retryDelayMs()
{
    return s_retryDelayMs.load();
}

void PASipStreamReader::setIoTimeoutMs(int ms)
{
    s_ioTimeoutMs.store(ms);
}

int PASipStreamReader::ioTimeoutMs()
{
    return s_ioTimeoutMs.load();
}

void PASipStreamReader::stop()
{
    RDThread::stop();
    std::lock_guard<std::mutex> lock(m_roomLock);
    m_room.notify_all();
}

SipStreamFrame *PASipStreamReader::pop()
{
    SipStreamFrame *frame = m_queue.pop();
    if (!frame)
        return nullptr;
    const int left = m_queue.count();
    int fewest = m_fewestQueued.load(std::memory_order_relaxed);
    while (left < fewest && !m_fewestQueued.compare_exchange_weak(fewest, left, std::memory_order_relaxed)) {
    }
    // The reader, waiting for a full queue, is woken once half of it has
    // been played rather than for every frame.
    if (left == kMaxQueuedFrames / 2) {
        std::lock_guard<std::mutex> lock(m_roomLock);
        m_room.notify_all();
    }
    return frame;
}

int PASipStreamReader::interrupted(void *opaque)
{
    const PASipStreamReader *self = static_cast<const PASipStreamReader *>(opaque);
    if (self->isStopped())
        return 1;
    const int64_t deadline = self->m_deadlineMs.load();
    return deadline > 0 && steadyMs() > deadline ? 1 : 0;
}

void PASipStreamReader::armDeadline()
{
    m_deadlineMs.store(steadyMs() + m_ioTimeoutMs);
}

bool PASipStreamReader::openInput()
{
    closeInput();
    AVFormatContext *input = avformat_alloc_context();
    if (!input)
        return false;
    input->interrupt_callback.callback = &PASipStreamReader::interrupted;
    input->interrupt_callback.opaque = this;
    AVDictionary *options = nullptr;
    av_dict_set(&options, "timeout", QByteArray::number(qint64(m_ioTimeoutMs) * 1000).constData(), 0);
    // Every byte of a stream looked at before the first frame is audio a
    // live source has already sent: its delay to the call. An audio stream
    // is known from its first frames; FFmpeg would otherwise read up to 5 s
    // or 5 MB.
    // A local file keeps the full look (a large tag may come first).
    const char *protocol = avio_find_protocol_name(m_urlBytes.constData());
    if (protocol && std::strcmp(protocol, "file") != 0) {
        av_dict_set(&options, "probesize", "32768", 0);
        av_dict_set(&options, "analyzeduration", "200000", 0);
        av_dict_set(&options, "fpsprobesize", "0", 0);
    }
    const int64_t openStartMs = steadyMs();
    armDeadline();
    int rc = avformat_open_input(&input, m_urlBytes.constData(), nullptr, &options);
    av_dict_free(&options);
    if (rc < 0) {
        // avformat_open_input frees the context on failure.
        return false;
    }
    m_input = input;
    armDeadline();
    if (avformat_find_stream_info(m_input, nullptr) < 0)
        return false;
    m_stream = -1;
    for (unsigned i = 0; i < m_input->nb_streams; ++i) {
        if (m_input->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            m_stream = int(i);
            break;
        }
    }
    if (m_stream < 0)
        return false;
    const AVCodecParameters *par = m_input->streams[m_stream]->codecpar;
    // A PCM demuxer hands out 4096-byte packets: 256 ms of 8 kHz mono a
    // live source makes the reader wait for. Packets of 20 ms, or as small
    // as the demuxer allows.
    const AVOption *maxSize = m_input->iformat->priv_class
        ? av_opt_find(m_input->priv_data, "max_size", nullptr, 0, 0)
        : nullptr;
    if (maxSize && par->block_align > 0 && par->sample_rate > 0) {
        const int64_t bytes = std::max<int64_t>(int64_t(par->block_align) * par->sample_rate / 50,
                                                int64_t(std::ceil(maxSize->min)));
        if (bytes < 4096)
            av_opt_set_int(m_input->priv_data, "max_size", bytes, 0);
    }
    // The open read the source at its own pace for as long as the audio
    // it took lasts, or for less when it came faster than real time.
    m_openedAtMs = steadyMs();
    const int64_t bitRate = par->bit_rate > 0 ? par->bit_rate : m_input->bit_rate;
    const int64_t readMs = bitRate > 0 && m_input->pb ? m_input->pb->bytes_read * 8000 / bitRate : 0;
    m_openPaceMs = std::min(m_openedAtMs - openStartMs, readMs);
    m_queuedMs = 0;
    m_windowStartMs = m_openedAtMs;
    // The audio the open read comes out at once: that is no lead.
    m_windowLeadMs = 0;
    m_fewestQueued.store(INT32_MAX);
    m_pace.store(Learning);
    AVCodecParameters *src = avcodec_parameters_alloc();
    if (src && avcodec_parameters_copy(src, m_input->streams[m_stream]->codecpar) < 0)
        avcodec_parameters_free(&src);
    m_transcoder = PASipAudioFormat::openTranscoder(src, m_target.parameters());
    return m_transcoder != nullptr;
}

void PASipStreamReader::closeInput()
{
    if (m_input)
        avformat_close_input(&m_input);
    m_input = nullptr;
    m_stream = -1;
    PASipAudioFormat::close(m_transcoder);
    m_carry.clear();
}

int64_t PASipStreamReader::leadMs(int64_t now) const
{
    return m_queuedMs - (m_openPaceMs + (now - m_openedAtMs));
}

void PASipStreamReader::updatePace()
{
    if (m_pace.load() != Learning)
        return;
    const int64_t now = steadyMs();
    const int64_t lead = leadMs(now);
    if (lead > kReadAheadMs) {
        m_pace.store(Paced);
        URLREAD_LOG("%s reads faster than real time, paced by the queue\n", m_urlBytes.constData());
    } else if (now - m_windowStartMs >= kLiveWindowMs) {
        if (lead - m_windowLeadMs <= kLiveLeadMs) {
            m_pace.store(Live);
            URLREAD_LOG("%s is live\n", m_urlBytes.constData());
            // What the call left queued since the open is weighed at once.
            m_windowStartMs = now - kLiveWindowMs;
            return;
        }
        m_windowStartMs = now;
        m_windowLeadMs = lead;
    }
}

void PASipStreamReader::dropBacklog()
{
    int keep = kMaxQueuedFrames;
    const int64_t now = steadyMs();
    const bool windowEnds = now - m_windowStartMs >= kLiveWindowMs;
    if (windowEnds) {
        m_windowStartMs = now;
        // The queue never ran below `fewest` frames all through the
        // window: those beyond the margin are delay, not jitter. A little
        // over the margin is left alone rather than cut every window.
        const int fewest = m_fewestQueued.exchange(INT32_MAX);
        if (fewest != INT32_MAX && fewest > 2 * kLiveQueuedFrames)
            keep = std::min(keep, m_queue.count() - (fewest - kLiveQueuedFrames));
    }
    m_droppedFrames += m_queue.trim(keep);
    if (windowEnds && m_droppedFrames > 0) {
        URLREAD_LOG("%s live source behind, %d ms dropped\n", m_urlBytes.constData(), m_droppedFrames * 20);
        m_droppedFrames = 0;
    }
}

bool PASipStreamReader::waitForRoom()
{
    if (m_pace.load() != Paced)
        return !isStopped();
    if (m_queue.count() < kMaxQueuedFrames)
        return !isStopped();
    std::unique_lock<std::mutex> lock(m_roomLock);
    m_room.wait(lock, [&] { return isStopped() || m_queue.count() <= kMaxQueuedFrames / 2; });
    return !isStopped();
}

void PASipStreamReader::run()
{
    AVPacket *packet = av_packet_alloc();
    while (packet && !isStopped()) {
        if (!m_input) {
            const bool ok = openInput();
            URLREAD_LOG("open file %s %s\n", m_urlBytes.constData(), ok ? "success" : "fail");
            if (!ok) {
                closeInput();
                if (isStopped())
                    break;
                URLREAD_LOG("open stream fail, retry open after %ds\n", m_retryDelayMs / 1000);
                sleep(m_retryDelayMs);
                continue;
            }
        }
        if (!waitForRoom())
            break;
        armDeadline();
        const int rc = av_read_frame(m_input, packet);
        if (rc < 0) {
            closeInput();
            if (isStopped())
                break;
            URLREAD_LOG("read stream failure, retry open after %ds\n", m_retryDelayMs / 1000);
            sleep(m_retryDelayMs);
            continue;
        }
        if (packet->stream_index == m_stream) {
            packet->time_base = m_input->streams[m_stream]->time_base;
            m_transcoder->pushPacket(packet);
            m_queuedMs += 20 * m_target.drain(*m_transcoder, m_carry, m_queue);
            updatePace();
            if (m_pace.load() == Live)
                dropBacklog();
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    closeInput();
    m_finished.store(true);
}
