#include "PASipStreamReader.h"

#include "RDAudioTranscoder.h"
#include "RDLog.h"
#include "SipStreamFrame.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <chrono>
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
    // The reader, waiting for a full queue, is woken once half of it has
    // been played rather than for every frame.
    if (frame && m_queue.count() == kMaxQueuedFrames / 2) {
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

bool PASipStreamReader::waitForRoom()
{
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
            m_target.drain(*m_transcoder, m_carry, m_queue);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);
    closeInput();
    m_finished.store(true);
}
