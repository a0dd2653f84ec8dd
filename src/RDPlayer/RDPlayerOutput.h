#pragma once

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
    bool audioClockNow(double now, double *mediaTime) const;
    void stopThreads();

    mutable QMutex m_viewMutex;
    RDVideoSink *m_view = nullptr;
    RDPcmPlayer *m_pcm = nullptr;
    RDPlayerOutputVideoThread *m_videoThread = nullptr;
    RDPlayerOutputAudioThread *m_audioThread = nullptr;
    std::atomic<double> m_position{-1.0};
    std::atomic<int> m_framesShown{0};
    SwsContext *m_scaler = nullptr;
    // Media time of the audio heard at m_audioClockStamp (steady seconds);
    // a stamp of 0 means no audio is being heard.
    std::atomic<double> m_audioClock{0.0};
    std::atomic<double> m_audioClockStamp{0.0};
};
