#include "RDPlayerDecoder.h"

#include "RDBasePlayerDecoderFrame.h"
#include "RDBasePlayerInput.h"
#include "RDBasePlayerInputPacket.h"
#include "RDLog.h"
#include "RDPlayerDecoderAudioThread.h"
#include "RDPlayerDecoderVideoThread.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#define DECODER_LOG(...) RDLogDetail("RDPlayerDecoder", __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {
// Longest single wait for a packet or for room in the frame queue; new
// packets, taken frames and stops end it sooner.
const int kWaitMs = 100;
} // namespace

RDPlayerDecoder::RDPlayerDecoder(QObject *parent) : RDBasePlayerDecoder(parent)
{
    m_video.type = 0;
    m_audio.type = 1;
}

RDPlayerDecoder::~RDPlayerDecoder()
{
    stop();
}

int RDPlayerDecoder::start()
{
    if (m_videoThread || m_audioThread)
        return 0;
    m_videoFlushRequested = false;
    m_audioFlushRequested = false;
    m_videoQueue = new RDPlayerQueue<RDBasePlayerDecoderFrame>();
    m_audioQueue = new RDPlayerQueue<RDBasePlayerDecoderFrame>();
    m_videoThread = new RDPlayerDecoderVideoThread(this);
    m_videoThread->start();
    m_audioThread = new RDPlayerDecoderAudioThread(this);
    m_audioThread->start();
    return 0;
}

void RDPlayerDecoder::stop()
{
    if (m_audioThread)
        m_audioThread->stop();
    if (m_videoThread)
        m_videoThread->stop();
    if (source())
        source()->wakeWaiters();
    wakeWaiters();
    RDPlayerStageThread::join(m_audioThread);
    RDPlayerStageThread::join(m_videoThread);
    delete m_videoQueue;
    m_videoQueue = nullptr;
    delete m_audioQueue;
    m_audioQueue = nullptr;
}

AVCodecContext *RDPlayerDecoder::videoCodecContext()
{
    return m_video.context;
}

AVCodecContext *RDPlayerDecoder::audioCodecContext()
{
    return m_audio.context;
}

int RDPlayerDecoder::videoFrameCount()
{
    return m_videoQueue ? m_videoQueue->count() : 0;
}

int RDPlayerDecoder::audioFrameCount()
{
    return m_audioQueue ? m_audioQueue->count() : 0;
}

int RDPlayerDecoder::popVideoFrame(RDBasePlayerDecoderFrame **frame)
{
    return RDPlayerQueue<RDBasePlayerDecoderFrame>::popFrom(m_videoQueue, frame);
}

int RDPlayerDecoder::popAudioFrame(RDBasePlayerDecoderFrame **frame)
{
    return RDPlayerQueue<RDBasePlayerDecoderFrame>::popFrom(m_audioQueue, frame);
}

void RDPlayerDecoder::releaseVideoFrame(RDBasePlayerDecoderFrame *frame)
{
    delete frame;
}

void RDPlayerDecoder::releaseAudioFrame(RDBasePlayerDecoderFrame *frame)
{
    delete frame;
}

bool RDPlayerDecoder::isRunning()
{
    return RDPlayerStageThread::isActive(m_videoThread) || RDPlayerStageThread::isActive(m_audioThread);
}

void RDPlayerDecoder::requestFlush()
{
    m_videoFlushRequested = true;
    m_audioFlushRequested = true;
}

void RDPlayerDecoder::waitForFrame(int mediaType, int timeoutMs)
{
    RDPlayerQueue<RDBasePlayerDecoderFrame> *queue = mediaType == RDBasePlayerInputPacket::Video ? m_videoQueue
                                                                                                 : m_audioQueue;
    if (queue && isRunning())
        queue->waitForItem(timeoutMs);
}

void RDPlayerDecoder::wakeWaiters()
{
    if (m_videoQueue)
        m_videoQueue->wake();
    if (m_audioQueue)
        m_audioQueue->wake();
}

int RDPlayerDecoder::copyCodecParameters(int type, AVCodecParameters *out)
{
    QMutexLocker guard(&m_codecMutex);
    const AVCodecContext *context = type == 0 ? m_video.context : type == 1 ? m_audio.context : nullptr;
    if (!context || !out)
        return -1;
    return avcodec_parameters_from_context(out, context) < 0 ? -1 : 0;
}

void RDPlayerDecoder::setDecodeAudio(bool decode)
{
    m_decodeAudio = decode;
}

int RDPlayerDecoder::openCodec(Codec &codec, int codecId)
{
    closeCodec(codec);
    if (codecId == 0)
        return -1;
    AVCodecContext *context = nullptr;
    const AVCodec *found = nullptr;
    RDBasePlayerInput *input = source();
    if (!input || input->createCodecContext(codec.type, codecId, &context, &found) < 0) {
        found = avcodec_find_decoder(AVCodecID(codecId));
        context = found ? avcodec_alloc_context3(found) : nullptr;
    }
    if (!context)
        return -1;
    const int result = avcodec_open2(context, found, nullptr);
    if (result < 0) {
        if (codec.type == 1)
            DECODER_LOG("avcodec_open2(audio = %d) failed = %d", codecId, result);
        else
            DECODER_LOG("avcodec_open2(video = %d) failed = %d", codecId, result);
        if (!input || input->freeCodecContext(codec.type, &context, &found) < 0)
            avcodec_free_context(&context);
        return -1;
    }
    QMutexLocker guard(&m_codecMutex);
    codec.codecId = codecId;
    codec.codec = found;
    codec.context = context;
    codec.frame = av_frame_alloc();
    codec.lastTime = -1.0;
    return codec.frame ? 0 : -1;
}

void RDPlayerDecoder::closeCodec(Codec &codec)
{
    av_frame_free(&codec.frame);
    QMutexLocker guard(&m_codecMutex);
    if (codec.context) {
        RDBasePlayerInput *input = source();
        if (!input || input->freeCodecContext(codec.type, &codec.context, &codec.codec) < 0)
            avcodec_free_context(&codec.context);
    }
    codec.context = nullptr;
    codec.codec = nullptr;
    codec.codecId = 0;
}

void RDPlayerDecoder::receiveFrames(Codec &codec, RDPlayerQueue<RDBasePlayerDecoderFrame> *queue)
{
    for (;;) {
        const int result = avcodec_receive_frame(codec.context, codec.frame);
        if (result == AVERROR_EOF) {
            avcodec_flush_buffers(codec.context);
            return;
        }
        if (result < 0)
            return;
        // The decoder's best guess copes with missing or reordered
        // timestamps; without one the frame follows the previous.
        const AVRational base{codec.timeBaseNum, codec.timeBaseDen};
        const int64_t stamp = codec.frame->best_effort_timestamp;
        double time;
        if (stamp != AV_NOPTS_VALUE && base.den != 0) {
            time = double(stamp) * base.num / base.den;
        } else {
            double step = 0.0;
            if (codec.frame->pkt_duration > 0 && base.den != 0)
                step = double(codec.frame->pkt_duration) * base.num / base.den;
            else if (codec.frame->sample_rate > 0)
                step = double(codec.frame->nb_samples) / codec.frame->sample_rate;
            else if (codec.context->framerate.num > 0 && codec.context->framerate.den > 0)
                step = av_q2d(av_inv_q(codec.context->framerate));
            time = codec.lastTime >= 0 ? codec.lastTime + step : 0.0;
        }
        codec.lastTime = time;
        queue->push(new RDBasePlayerDecoderFrame(codec.frame, time));
        av_frame_unref(codec.frame);
    }
}

void RDPlayerDecoder::sendPacket(Codec &codec, RDPlayerQueue<RDBasePlayerDecoderFrame> *queue,
                                 RDBasePlayerInputPacket *item)
{
    AVPacket *packet = item->packet();
    if (packet->time_base.den != 0) {
        codec.timeBaseNum = packet->time_base.num;
        codec.timeBaseDen = packet->time_base.den;
    }
    int result = avcodec_send_packet(codec.context, packet);
    while (result == AVERROR(EAGAIN)) {
        receiveFrames(codec, queue);
        result = avcodec_send_packet(codec.context, packet);
    }
    if (result < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {0};
        av_strerror(result, text, sizeof(text));
        if (codec.type == 0)
            DECODER_LOG("_sendVideoPacket error = %d\n len = %d, %s", result, packet->size, text);
        else
            DECODER_LOG("_sendAudioPacket error = %d\n%s", result, text);
        return;
    }
    receiveFrames(codec, queue);
}

void RDPlayerDecoder::drain(Codec &codec, RDPlayerQueue<RDBasePlayerDecoderFrame> *queue)
{
    // The source has ended: the frames the decoder still holds back (those
    // waiting for reordering) come out now.
    if (codec.context && avcodec_send_packet(codec.context, nullptr) >= 0)
        receiveFrames(codec, queue);
}

void RDPlayerDecoder::decodeVideo(RDPlayerStageThread *thread)
{
    RDBasePlayerInput *input = source();
    bool keyFrameSeen = false;
    while (input && !thread->isStopped()) {
        if (m_videoFrameLimit > 0 && m_videoQueue->count() > m_videoFrameLimit) {
            m_videoQueue->waitWithin(m_videoFrameLimit, kWaitMs);
            continue;
        }
        RDBasePlayerInputPacket *item = nullptr;
        const auto took = RDPlayerStageThread::take(input, RDBasePlayerInputPacket::Video, kWaitMs, &item);
        if (took == RDPlayerStageThread::Take::Again)
            continue;
        if (took == RDPlayerStageThread::Take::Ended) {
            if (keyFrameSeen)
                drain(m_video, m_videoQueue);
            break;
        }
        if (!m_video.context || item->codecId() != m_video.codecId) {
            if (openCodec(m_video, item->codecId()) < 0) {
                input->releaseVideoPacket(item);
                break;
            }
        }
        if (m_videoFlushRequested.exchange(false)) {
            // After a seek: what was decoded before is stale, but this packet
            // is where the seek landed, so it is decoded below.
            m_videoQueue->clear();
            avcodec_flush_buffers(m_video.context);
            keyFrameSeen = false;
        }
        if (!keyFrameSeen && !(item->packet()->flags & AV_PKT_FLAG_KEY)) {
            input->releaseVideoPacket(item);
            continue;
        }
        keyFrameSeen = true;
        sendPacket(m_video, m_videoQueue, item);
        input->releaseVideoPacket(item);
    }
    closeCodec(m_video);
    thread->markFinished();
    m_videoQueue->wake();
}

void RDPlayerDecoder::decodeAudio(RDPlayerStageThread *thread)
{
    RDBasePlayerInput *input = source();
    while (input && !thread->isStopped()) {
        RDBasePlayerInputPacket *item = nullptr;
        const auto took = RDPlayerStageThread::take(input, RDBasePlayerInputPacket::Audio, kWaitMs, &item);
        if (took == RDPlayerStageThread::Take::Again)
            continue;
        if (took == RDPlayerStageThread::Take::Ended) {
            if (m_decodeAudio)
                drain(m_audio, m_audioQueue);
            break;
        }
        if (!m_audio.context || item->codecId() != m_audio.codecId) {
            if (openCodec(m_audio, item->codecId()) < 0) {
                input->releaseAudioPacket(item);
                break;
            }
        }
        if (m_audioFlushRequested.exchange(false)) {
            m_audioQueue->clear();
            avcodec_flush_buffers(m_audio.context);
        }
        if (m_decodeAudio)
            sendPacket(m_audio, m_audioQueue, item);
        input->releaseAudioPacket(item);
    }
    closeCodec(m_audio);
    thread->markFinished();
    m_audioQueue->wake();
}
