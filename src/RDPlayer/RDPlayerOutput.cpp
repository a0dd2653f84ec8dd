#include "RDPlayerOutput.h"

#include "RDBasePlayerDecoder.h"
#include "RDBasePlayerDecoderFrame.h"
#include "RDBasePlayerInputPacket.h"
#include "RDLog.h"
#include "RDPcmPlayer.h"
#include "RDPlayerOutputAudioThread.h"
#include "RDPlayerOutputVideoThread.h"
#include "RDThread.h"
#include "RDVideoSink.h"
#include "RDYUV420P.h"

extern "C" {
#include <libavutil/frame.h>
#include <libavutil/pixfmt.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>

#define OUTPUT_LOG(...) RDLogDetail("RDPlayerOutput", __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {
// Longest single wait for a decoded frame; new frames and stops end it sooner.
const int kWaitMs = 100;
// A forward jump larger than this re-anchors the wall clock.
const double kMaxInterval = 1.0;
// The wall-clock anchor is re-taken at least this often.
const double kReanchorSeconds = 60.0;
// Pictures follow the audio clock while within this much of it.
const double kAudioClockReach = 1.0;
// A sound device that takes no audio for this long is given up on as a
// clock: the pictures go on at the wall clock's pace.
const double kAudioStallSeconds = 2.0;

int waitMilliseconds(double seconds)
{
    return seconds > 0 ? int(std::ceil(seconds * 1000.0)) : 0;
}
} // namespace

RDPlayerOutput::RDPlayerOutput(QObject *parent) : RDBasePlayerOutput(parent) {}

RDPlayerOutput::~RDPlayerOutput()
{
    stopThreads();
    sws_freeContext(m_scaler);
}

void RDPlayerOutput::setView(RDVideoSink *view)
{
    QMutexLocker guard(&m_viewMutex);
    m_view = view;
}

RDVideoSink *RDPlayerOutput::view() const
{
    QMutexLocker guard(&m_viewMutex);
    return m_view;
}

void RDPlayerOutput::setPcmPlayer(RDPcmPlayer *player)
{
    m_pcm = player;
}

double RDPlayerOutput::position()
{
    return m_position;
}

int RDPlayerOutput::start()
{
    if (m_videoThread || m_audioThread)
        return 0;
    clearAudioClock();
    m_videoThread = new RDPlayerOutputVideoThread(this);
    m_videoThread->start();
    m_audioThread = new RDPlayerOutputAudioThread(this);
    m_audioThread->start();
    return 0;
}

void RDPlayerOutput::stop()
{
    stopThreads();
}

void RDPlayerOutput::stopThreads()
{
    if (m_audioThread)
        m_audioThread->stop();
    if (m_videoThread)
        m_videoThread->stop();
    if (source())
        source()->wakeWaiters();
    RDPlayerStageThread::join(m_audioThread);
    RDPlayerStageThread::join(m_videoThread);
}

RDYUV420P *RDPlayerOutput::pictureFromFrame(const AVFrame *frame, SwsContext **scaler)
{
    if (!frame || frame->width <= 0 || frame->height <= 0)
        return nullptr;
    const int format = frame->format;
    if (format == AV_PIX_FMT_YUV420P || format == AV_PIX_FMT_YUVJ420P) {
        if (!frame->data[0] || !frame->data[1] || !frame->data[2])
            return nullptr;
        return new RDYUV420P(frame->data[0], frame->data[1], frame->data[2], frame->width, frame->height,
                             frame->linesize);
    }
    // Other layouts (4:2:2, 4:4:4, NV12, gray, RGB, deeper samples) are
    // converted: the view only draws planar 4:2:0.
    *scaler = sws_getCachedContext(*scaler, frame->width, frame->height, AVPixelFormat(format), frame->width,
                                   frame->height, AV_PIX_FMT_YUV420P, SWS_BILINEAR, nullptr, nullptr, nullptr);
    if (!*scaler)
        return nullptr;
    AVFrame *converted = av_frame_alloc();
    if (!converted)
        return nullptr;
    converted->format = AV_PIX_FMT_YUV420P;
    converted->width = frame->width;
    converted->height = frame->height;
    RDYUV420P *picture = nullptr;
    if (av_frame_get_buffer(converted, 0) >= 0
        && sws_scale(*scaler, frame->data, frame->linesize, 0, frame->height, converted->data, converted->linesize)
            > 0) {
        picture = new RDYUV420P(converted->data[0], converted->data[1], converted->data[2], frame->width,
                                frame->height, converted->linesize);
    }
    av_frame_free(&converted);
    return picture;
}

int RDPlayerOutput::showVideoFrame(RDBasePlayerDecoderFrame *frame)
{
    QMutexLocker guard(&m_viewMutex);
    if (!m_view || !frame)
        return -1;
    RDYUV420P *picture = pictureFromFrame(frame->frame(), &m_scaler);
    if (!picture)
        return -1;
    picture->setTime(frame->time());
    m_view->updateYUV420Async(picture);
    guard.unlock();
    reportState(m_framesShown == 0 ? 0 : 3);
    ++m_framesShown;
    return 0;
}

int RDPlayerOutput::writeAudioFrame(RDBasePlayerDecoderFrame *frame)
{
    if (!m_pcm || !frame)
        return -1;
    const bool heard = m_pcm->isStarted() && m_pcm->volume() > 0.0f && frame->time() >= 0;
    if (heard) {
        QMutexLocker guard(&m_clockMutex);
        m_audioClock.writing = true;
    }
    const int result = m_pcm->writeFrame(frame->frame());
    const double buffered = heard && result == 0 ? m_pcm->bufferedSeconds() : 0.0;
    // Audio that is not heard leaves the clock as it was: no one to wake.
    if (!heard)
        return result;
    {
        QMutexLocker guard(&m_clockMutex);
        m_audioClock.writing = false;
        if (result == 0) {
            const AVFrame *data = frame->frame();
            const double length = data->sample_rate > 0 ? double(data->nb_samples) / data->sample_rate : 0.0;
            m_audioClock.media = frame->time() + length - buffered;
            m_audioClock.stamp = monotonicSeconds();
            m_audioClock.frameLength = length;
            m_audioClock.buffered = buffered;
        }
    }
    m_audioClockMoved.signal();
    return result;
}

bool RDPlayerOutput::audioClockNow(double now, double *mediaTime, double *heldUntil) const
{
    QMutexLocker guard(&m_clockMutex);
    const AudioClock &clock = m_audioClock;
    if (clock.stamp <= 0)
        return false;
    const double elapsed = std::max(now - clock.stamp, 0.0);
    // The device plays on from the stamp, but never past the audio it has
    // been given: what it held then and, while a write is under way, the
    // frame being written. A device that stops taking audio holds the clock
    // there; one that takes none for long is given up on. With nothing
    // being written, the clock ends when the device has played out.
    const double reach = clock.buffered + (clock.writing ? clock.frameLength : 0.0);
    if (elapsed > (clock.writing ? kAudioStallSeconds : reach))
        return false;
    *mediaTime = clock.media + std::min(elapsed, reach);
    *heldUntil = clock.writing && elapsed >= reach ? clock.stamp + kAudioStallSeconds : 0.0;
    return true;
}

bool RDPlayerOutput::audioDue(double time, double now, double *due) const
{
    double heard = 0.0;
    double heldUntil = 0.0;
    if (!audioClockNow(now, &heard, &heldUntil) || std::fabs(time - heard) >= kAudioClockReach)
        return false;
    const double ahead = time - heard;
    // A held clock next moves when the write ends, which signals, or when
    // the device is given up on; the wall clock then carries on from where
    // the audio stood.
    *due = (ahead > 0 && heldUntil > 0 ? heldUntil : now) + ahead;
    return true;
}

void RDPlayerOutput::waitForDue(RDPlayerStageThread *thread, double time, double *due, double *anchorWall,
                                double *anchorMedia)
{
    while (!thread->isStopped()) {
        // Cleared before the clock is read, so that a move after the
        // reading ends the wait below.
        m_audioClockMoved.clear();
        const double now = monotonicSeconds();
        double byAudio = 0.0;
        if (!audioDue(time, now, &byAudio)) {
            thread->sleep(waitMilliseconds(*due - now));
            return;
        }
        // The wall clock carries on from here should the audio stop.
        *due = byAudio;
        *anchorWall = byAudio;
        *anchorMedia = time;
        if (byAudio <= now)
            return;
        int waitMs = waitMilliseconds(byAudio - now);
        // Without the event a write's end is seen only by looking again.
        if (!m_audioClockMoved.isValid())
            waitMs = std::min(waitMs, kWaitMs);
        thread->waitReadable(m_audioClockMoved.handle(), waitMs);
    }
}

void RDPlayerOutput::clearAudioClock()
{
    bool moved = false;
    {
        QMutexLocker guard(&m_clockMutex);
        moved = m_audioClock.stamp > 0 || m_audioClock.writing;
        m_audioClock = AudioClock();
    }
    // A picture waiting on the clock goes over to the wall clock.
    if (moved)
        m_audioClockMoved.signal();
}

bool RDPlayerOutput::isRunning()
{
    return RDPlayerStageThread::isActive(m_videoThread) || RDPlayerStageThread::isActive(m_audioThread);
}

void RDPlayerOutput::flush()
{
    clearAudioClock();
}

void RDPlayerOutput::displayVideo(RDPlayerStageThread *thread)
{
    RDBasePlayerDecoder *decoder = source();
    m_position = -1.0;
    m_framesShown = 0;
    double anchorWall = monotonicSeconds();
    double anchorMedia = -1.0;
    bool endedByItself = false;
    while (decoder && !thread->isStopped()) {
        RDBasePlayerDecoderFrame *frame = nullptr;
        const auto took = RDPlayerStageThread::take(decoder, RDBasePlayerInputPacket::Video, kWaitMs, &frame);
        if (took == RDPlayerStageThread::Take::Again)
            continue;
        if (took == RDPlayerStageThread::Take::Ended) {
            if (m_framesShown > 0)
                reportState(1);
            endedByItself = true;
            break;
        }
        const double now = monotonicSeconds();
        const double time = frame->time();
        if (anchorMedia < 0) {
            anchorMedia = time;
            anchorWall = now;
        }
        double due = 0.0;
        const double position = m_position;
        if (m_framesShown > 0 && position > 0 && time > 0) {
            const double interval = time - position;
            if (interval > kMaxInterval) {
                OUTPUT_LOG("interval = %lf, frame->time = %lf, videoTime = %lf", interval, time, position);
                anchorWall = now;
                anchorMedia = time;
            } else if (anchorWall > 0 && anchorMedia > 0 && now - anchorWall > kReanchorSeconds) {
                anchorWall = now;
                anchorMedia = time;
            }
            due = time + anchorWall - anchorMedia;
        }
        m_position = time;
        showVideoFrame(frame);
        decoder->releaseVideoFrame(frame);
        if (due > 0)
            waitForDue(thread, time, &due, &anchorWall, &anchorMedia);
    }
    if (!endedByItself)
        reportState(2);
    thread->markFinished();
}

void RDPlayerOutput::displayAudio(RDPlayerStageThread *thread)
{
    RDBasePlayerDecoder *decoder = source();
    while (decoder && !thread->isStopped()) {
        RDBasePlayerDecoderFrame *frame = nullptr;
        const auto took = RDPlayerStageThread::take(decoder, RDBasePlayerInputPacket::Audio, kWaitMs, &frame);
        if (took == RDPlayerStageThread::Take::Again)
            continue;
        if (took == RDPlayerStageThread::Take::Ended)
            break;
        writeAudioFrame(frame);
        decoder->releaseAudioFrame(frame);
    }
    clearAudioClock();
    thread->markFinished();
}
