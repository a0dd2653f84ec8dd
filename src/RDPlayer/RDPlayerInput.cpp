#include "RDPlayerInput.h"

#include "RDBasePlayerInputPacket.h"
#include "RDLog.h"
#include "RDPlayerInputRecvThread.h"
#include "RDThread.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
}

#include <climits>

#define INPUT_LOG(...) RDLogDetail("RDPlayerInput", __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {
// Longest single wait of the receive thread while the video queue is full;
// the decoder taking a packet or a stop ends it sooner.
const int kFullQueueWaitMs = 10;
} // namespace

RDPlayerInput::RDPlayerInput(QObject *parent) : RDBasePlayerInput(parent) {}

RDPlayerInput::~RDPlayerInput()
{
    stop();
    avcodec_parameters_free(&m_videoParameters);
    avcodec_parameters_free(&m_audioParameters);
}

void RDPlayerInput::setUrl(const QString &url)
{
    m_url = url;
}

void RDPlayerInput::setDropWhenFull(bool drop)
{
    m_dropWhenFull = drop;
}

void RDPlayerInput::setTimeout(double seconds)
{
    m_timeout = seconds;
}

void RDPlayerInput::setVideoQueueLimit(int limit)
{
    m_videoQueueLimit = limit;
}

int RDPlayerInput::start()
{
    if (m_thread)
        return 0;
    m_duration = -1.0;
    m_videoQueue = new RDPlayerQueue<RDBasePlayerInputPacket>();
    m_audioQueue = new RDPlayerQueue<RDBasePlayerInputPacket>();
    m_thread = new RDPlayerInputRecvThread(this);
    m_thread->start();
    return 0;
}

void RDPlayerInput::stop()
{
    if (m_thread) {
        m_thread->stop();
        wakeWaiters();
        RDPlayerStageThread::join(m_thread);
    }
    delete m_videoQueue;
    m_videoQueue = nullptr;
    delete m_audioQueue;
    m_audioQueue = nullptr;
}

void RDPlayerInput::seek(double seconds)
{
    m_seekTarget = seconds;
    m_seekRequested = true;
    if (m_videoQueue)
        m_videoQueue->wake();
}

double RDPlayerInput::duration()
{
    return m_duration;
}

int RDPlayerInput::popVideoPacket(RDBasePlayerInputPacket **packet)
{
    return RDPlayerQueue<RDBasePlayerInputPacket>::popFrom(m_videoQueue, packet);
}

int RDPlayerInput::popAudioPacket(RDBasePlayerInputPacket **packet)
{
    return RDPlayerQueue<RDBasePlayerInputPacket>::popFrom(m_audioQueue, packet);
}

void RDPlayerInput::releaseVideoPacket(RDBasePlayerInputPacket *packet)
{
    delete packet;
}

void RDPlayerInput::releaseAudioPacket(RDBasePlayerInputPacket *packet)
{
    delete packet;
}

int RDPlayerInput::createCodecContext(int type, int, AVCodecContext **context, const AVCodec **codec)
{
    if (type != 0 && type != 1)
        return -1;
    QMutexLocker guard(&m_parametersMutex);
    const AVCodecParameters *parameters = type == 0 ? m_videoParameters : m_audioParameters;
    if (!parameters)
        return -1;
    const AVCodec *decoder = avcodec_find_decoder(parameters->codec_id);
    if (!decoder)
        return -1;
    if (codec)
        *codec = decoder;
    AVCodecContext *created = avcodec_alloc_context3(decoder);
    if (!created)
        return -1;
    if (avcodec_parameters_to_context(created, parameters) < 0) {
        avcodec_free_context(&created);
        return -1;
    }
    *context = created;
    return 0;
}

int RDPlayerInput::freeCodecContext(int type, AVCodecContext **context, const AVCodec **codec)
{
    if (type != 0 && type != 1)
        return -1;
    avcodec_free_context(context);
    if (codec)
        *codec = nullptr;
    return 0;
}

int RDPlayerInput::status()
{
    return 0;
}

bool RDPlayerInput::isRunning()
{
    return RDPlayerStageThread::isActive(m_thread);
}

void RDPlayerInput::flush()
{
    // The demultiplexer belongs to the receive thread: it drops its own
    // buffers on its next round.
    m_demuxFlushRequested = true;
    emptyQueues();
}

int RDPlayerInput::copyCodecParameters(int type, AVCodecParameters *out)
{
    QMutexLocker guard(&m_parametersMutex);
    const AVCodecParameters *parameters = type == 0 ? m_videoParameters : type == 1 ? m_audioParameters : nullptr;
    if (!parameters || !out)
        return -1;
    return avcodec_parameters_copy(out, parameters) < 0 ? -1 : 0;
}

void RDPlayerInput::waitForPacket(int mediaType, int timeoutMs)
{
    RDPlayerQueue<RDBasePlayerInputPacket> *queue = mediaType == RDBasePlayerInputPacket::Video ? m_videoQueue
                                                                                                : m_audioQueue;
    if (queue && RDPlayerStageThread::isActive(m_thread))
        queue->waitForItem(timeoutMs);
}

void RDPlayerInput::wakeWaiters()
{
    if (m_videoQueue)
        m_videoQueue->wake();
    if (m_audioQueue)
        m_audioQueue->wake();
}

int RDPlayerInput::videoPacketCount() const
{
    return m_videoQueue ? m_videoQueue->count() : 0;
}

int RDPlayerInput::audioPacketCount() const
{
    return m_audioQueue ? m_audioQueue->count() : 0;
}

void RDPlayerInput::emptyQueues()
{
    if (m_videoQueue)
        m_videoQueue->clear();
    if (m_audioQueue)
        m_audioQueue->clear();
}

int RDPlayerInput::interruptCallback(void *opaque)
{
    auto *input = static_cast<RDPlayerInput *>(opaque);
    if (!input)
        return -1;
    const double openStart = input->m_openStartTime;
    if (input->m_timeout > 0 && openStart > 0 && monotonicSeconds() > openStart + input->m_timeout)
        return 1;
    if (!input->m_thread || input->m_thread->isStopped())
        return 1;
    return 0;
}

int RDPlayerInput::openInput()
{
    m_formatContext = avformat_alloc_context();
    if (!m_formatContext)
        return AVERROR(ENOMEM);
    m_formatContext->interrupt_callback.callback = &RDPlayerInput::interruptCallback;
    m_formatContext->interrupt_callback.opaque = this;

    // The steady clock: a change of the PC's time must not cut an open short.
    m_openStartTime = monotonicSeconds();
    const QByteArray url = m_url.toUtf8();
    int result = avformat_open_input(&m_formatContext, url.constData(), nullptr, nullptr);
    if (result >= 0 && m_formatContext->nb_streams == 0) {
        // Formats without a header (MPEG-TS, raw streams) only show their
        // streams once packets have been looked at.
        result = avformat_find_stream_info(m_formatContext, nullptr);
        if (result >= 0 && m_formatContext->nb_streams == 0)
            result = AVERROR_STREAM_NOT_FOUND;
    }
    m_openStartTime = 0.0;
    if (result < 0) {
        closeInput();
        return result;
    }

    for (unsigned i = 0; i < m_formatContext->nb_streams; ++i) {
        AVStream *stream = m_formatContext->streams[i];
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO)
            m_videoStream = stream;
        else if (stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO)
            m_audioStream = stream;
    }
    {
        QMutexLocker guard(&m_parametersMutex);
        avcodec_parameters_free(&m_videoParameters);
        avcodec_parameters_free(&m_audioParameters);
        if (m_videoStream && (m_videoParameters = avcodec_parameters_alloc()))
            avcodec_parameters_copy(m_videoParameters, m_videoStream->codecpar);
        if (m_audioStream && (m_audioParameters = avcodec_parameters_alloc()))
            avcodec_parameters_copy(m_audioParameters, m_audioStream->codecpar);
    }

    if (m_formatContext->duration != AV_NOPTS_VALUE && m_formatContext->duration > 0)
        m_duration = double(m_formatContext->duration) / AV_TIME_BASE;
    else if (m_videoStream && m_videoStream->duration != AV_NOPTS_VALUE && m_videoStream->duration > 0)
        m_duration = double(m_videoStream->duration) * av_q2d(m_videoStream->time_base);
    else if (m_audioStream && m_audioStream->duration != AV_NOPTS_VALUE && m_audioStream->duration > 0)
        m_duration = double(m_audioStream->duration) * av_q2d(m_audioStream->time_base);
    else
        m_duration = -1.0;
    return 0;
}

void RDPlayerInput::closeInput()
{
    // The duration stays known after the last packet was read: the pictures
    // still queued are shown against it.
    m_videoStream = nullptr;
    m_audioStream = nullptr;
    avformat_close_input(&m_formatContext);
}

void RDPlayerInput::seekNow()
{
    emptyQueues();
    int result = -1;
    if (m_formatContext) {
        const int64_t target = int64_t(m_seekTarget * AV_TIME_BASE);
        // Any key frame around the target will do: demanding the exact
        // timestamp fails wherever no key frame sits on it.
        result = avformat_seek_file(m_formatContext, -1, INT64_MIN, target, INT64_MAX, 0);
    }
    m_seekRequested = false;
    reportState(result >= 0 ? 4 : 5);
}

void RDPlayerInput::doRecv()
{
    const int opened = openInput();
    if (opened < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {0};
        av_strerror(opened, text, sizeof(text));
        INPUT_LOG("open %s failed = %d, %s\n", m_url.toUtf8().constData(), opened, text);
        m_thread->markFinished();
        wakeWaiters();
        reportState(1);
        return;
    }
    reportState(0);

    AVPacket *packet = av_packet_alloc();
    int result = packet ? 0 : AVERROR(ENOMEM);
    while (packet && !m_thread->isStopped()) {
        if (m_videoQueueLimit > 0 && m_videoQueue->count() > m_videoQueueLimit) {
            if (m_dropWhenFull)
                emptyQueues();
            else
                m_videoQueue->waitWithin(m_videoQueueLimit, kFullQueueWaitMs);
            if (!m_seekRequested)
                continue;
        }
        if (m_demuxFlushRequested.exchange(false))
            avformat_flush(m_formatContext);
        if (m_seekRequested)
            seekNow();

        result = av_read_frame(m_formatContext, packet);
        if (result < 0)
            break;
        if (m_videoStream && packet->stream_index == m_videoStream->index) {
            packet->time_base = m_videoStream->time_base;
            auto *item = new RDBasePlayerInputPacket(packet, m_videoStream->codecpar->codec_id,
                                                     RDBasePlayerInputPacket::Video);
            deliverPacket(item);
            m_videoQueue->push(item);
        } else if (m_audioStream && packet->stream_index == m_audioStream->index) {
            packet->time_base = m_audioStream->time_base;
            auto *item = new RDBasePlayerInputPacket(packet, m_audioStream->codecpar->codec_id,
                                                     RDBasePlayerInputPacket::Audio);
            deliverPacket(item);
            m_audioQueue->push(item);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);

    if (result < 0 && result != AVERROR_EOF && result != AVERROR_EXIT) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {0};
        av_strerror(result, text, sizeof(text));
        INPUT_LOG("av_read_frame error = %d\n%s", result, text);
    }
    closeInput();
    m_thread->markFinished();
    wakeWaiters();
    reportState(2);
}
