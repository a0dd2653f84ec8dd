#pragma once

#include "PlatformWakeEvent.h"
#include "RDBasePlayerOutput.h"

#include <QMutex>

#include <atomic>

struct AVFrame;
struct SwsContext;
class RDPcmPlayer;
class RDPlayerStageThread;
class RDVideoSink;
class RDYUV420P;
class RDPlayerOutputVideoThread;
class RDPlayerOutputAudioThread;

// The output stage without sound of its own: a video thread paces decoded
// pictures and hands them to the view; an audio thread writes decoded audio
// to the PCM player, when one is set. While the audio is heard, the video
// follows the audio clock; otherwise a wall-clock anchor paces it.
class RDPlayerOutput : public RDBasePlayerOutput
{
public:
    explicit RDPlayerOutput(QObject *parent = nullptr);
    ~RDPlayerOutput() override;

    void setView(RDVideoSink *view);
    RDVideoSink *view() const;

    double position() override;
    int start() override;
    void stop() override;
    int showVideoFrame(RDBasePlayerDecoderFrame *frame) override;
    int writeAudioFrame(RDBasePlayerDecoderFrame *frame) override;
    bool isRunning() override;
    void flush() override;

    int framesShown() const { return m_framesShown; }

    // Bodies of the two threads.
    void displayVideo(RDPlayerStageThread *thread);
    void displayAudio(RDPlayerStageThread *thread);

    // A tightly packed 4:2:0 copy of a decoded picture of any pixel format;
    // `scaler` caches the conversion between calls (free it with
    // sws_freeContext). Null when the picture cannot be converted.
    static RDYUV420P *pictureFromFrame(const AVFrame *frame, SwsContext **scaler);

protected:
    void setPcmPlayer(RDPcmPlayer *player);
    RDPcmPlayer *pcmPlayer() const { return m_pcm; }

private:
    // The media time of the audio heard at `now`; false when none is heard.
    // `heldUntil` is 0 while the clock runs; while a write into the device
    // is stuck and the audio it held has been played, the clock stands still
    // until the write ends or until `heldUntil`, when it is given up on.
    bool audioClockNow(double now, double *mediaTime, double *heldUntil) const;
    // When the picture of media time `time` is due by the audio heard at
    // `now`; false when no audio is heard or the picture is out of its reach.
    // While the clock is held, that is as late as the clock could make it.
    bool audioDue(double time, double now, double *due) const;
    // Sleeps until `*due`; while the pictures follow the audio, the wait is
    // re-timed whenever the audio clock moves, so a picture waits for audio
    // held up in the device, asleep until the device takes audio again or is
    // given up on. Keeps the wall-clock anchor in step.
    void waitForDue(RDPlayerStageThread *thread, double time, double *due, double *anchorWall,
                    double *anchorMedia);
    void clearAudioClock();
    void stopThreads();

    mutable QMutex m_viewMutex;
    RDVideoSink *m_view = nullptr;
    RDPcmPlayer *m_pcm = nullptr;
    RDPlayerOutputVideoThread *m_videoThread = nullptr;
    RDPlayerOutputAudioThread *m_audioThread = nullptr;
    std::atomic<double> m_position{-1.0};
    std::atomic<int> m_framesShown{0};
    SwsContext *m_scaler = nullptr;
    // Media time of the audio heard at `stamp` (steady seconds; 0: no audio
    // is heard), the length of the frame last written, the audio the device
    // held then, and whether a write into the device is under way.
    struct AudioClock {
        double media = 0.0;
        double stamp = 0.0;
        double frameLength = 0.0;
        double buffered = 0.0;
        bool writing = false;
    };
    mutable QMutex m_clockMutex;
    AudioClock m_audioClock;
    // Signalled whenever the audio clock changes: a write into the device
    // ends or the clock is cleared.
    PlatformWakeEvent m_audioClockMoved;
};
