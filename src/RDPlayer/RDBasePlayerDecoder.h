#pragma once

#include "RDPlayerStage.h"

struct AVCodecContext;
struct AVCodecParameters;
class RDBasePlayerDecoderFrame;
class RDBasePlayerInput;

// Second stage of a player: turns the input's packets into frames.
class RDBasePlayerDecoder : public RDPlayerStage
{
public:

    explicit RDBasePlayerDecoder(QObject *parent = nullptr);
    ~RDBasePlayerDecoder() override;

    void setSource(RDBasePlayerInput *source);
    RDBasePlayerInput *source() const;

    virtual int start() = 0;
    virtual void stop() = 0;
    virtual AVCodecContext *videoCodecContext() = 0;
    virtual AVCodecContext *audioCodecContext() = 0;
    virtual int videoFrameCount() = 0;
    virtual int audioFrameCount() = 0;
    virtual int popVideoFrame(RDBasePlayerDecoderFrame **frame) = 0;
    virtual int popAudioFrame(RDBasePlayerDecoderFrame **frame) = 0;
    virtual void releaseVideoFrame(RDBasePlayerDecoderFrame *frame) = 0;
    virtual void releaseAudioFrame(RDBasePlayerDecoderFrame *frame) = 0;
    virtual bool isRunning() = 0;
    virtual void requestFlush() = 0;
    // Blocks until a frame of the kind (1 video, 2 audio) is queued, the
    // decoder ends, wakeWaiters() is called or `timeoutMs` passes.
    virtual void waitForFrame(int mediaType, int timeoutMs) = 0;
    virtual void wakeWaiters() = 0;
    // Copies the parameters of the open decoder of `type` (0 video, 1 audio),
    // as decoding has completed them, into `out`; -1 when none is open.
    virtual int copyCodecParameters(int type, AVCodecParameters *out);

private:
    RDBasePlayerInput *m_source = nullptr;
};
