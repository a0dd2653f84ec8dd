#pragma once

#include "RDPlayerStage.h"

class RDBasePlayerDecoder;
class RDBasePlayerDecoderFrame;

// Last stage of a player: shows the decoded video and plays the audio.
// States: 0 first video frame shown, 1 no more video frames, 2 video thread
// stopped, 3 another video frame shown.
class RDBasePlayerOutput : public RDPlayerStage
{
public:

    explicit RDBasePlayerOutput(QObject *parent = nullptr);
    ~RDBasePlayerOutput() override;

    void setSource(RDBasePlayerDecoder *source);
    RDBasePlayerDecoder *source() const;

    virtual double position();
    virtual int start() = 0;
    virtual void stop() = 0;
    virtual int showVideoFrame(RDBasePlayerDecoderFrame *frame) = 0;
    virtual int writeAudioFrame(RDBasePlayerDecoderFrame *frame) = 0;
    virtual bool isRunning() = 0;
    virtual void flush() = 0;
    virtual void setVolume(double volume);

private:
    RDBasePlayerDecoder *m_source = nullptr;
};
