#pragma once

#include <QMutex>
#include "RDPlayerStage.h"

struct AVCodec;
struct AVCodecContext;
struct AVCodecParameters;
class RDBasePlayerInputPacket;

// First stage of a player: opens a source and hands out its packets. The
// base carries the owner's state callback and the packet listener (the
// recorder's tap).
class RDBasePlayerInput : public RDPlayerStage
{
public:
    using PacketListener = void (*)(void *context, RDBasePlayerInputPacket *packet);

    explicit RDBasePlayerInput(QObject *parent = nullptr);
    ~RDBasePlayerInput() override;

    void setPacketListener(void *context, PacketListener listener);
    void deliverPacket(RDBasePlayerInputPacket *packet);

    virtual int start() = 0;
    virtual void stop() = 0;
    virtual void resume() {}
    virtual void pause() {}
    virtual void seek(double seconds) = 0;
    virtual double duration() = 0;
    virtual int popVideoPacket(RDBasePlayerInputPacket **packet) = 0;
    virtual int popAudioPacket(RDBasePlayerInputPacket **packet) = 0;
    virtual void releaseVideoPacket(RDBasePlayerInputPacket *packet) = 0;
    virtual void releaseAudioPacket(RDBasePlayerInputPacket *packet) = 0;
    // type 0 video, 1 audio: a decoder context filled from that stream.
    virtual int createCodecContext(int type, int codecId, AVCodecContext **context, const AVCodec **codec);
    virtual int freeCodecContext(int type, AVCodecContext **context, const AVCodec **codec);
    virtual int status() = 0;
    virtual bool isRunning() = 0;
    virtual void flush() = 0;
    // Copies the parameters of the stream of `type` (0 video, 1 audio) into
    // `out`; -1 when there is no such stream.
    virtual int copyCodecParameters(int type, AVCodecParameters *out);
    // Blocks until a packet of the type (1 video, 2 audio) is queued, the
    // input ends, wakeWaiters() is called or `timeoutMs` passes.
    virtual void waitForPacket(int mediaType, int timeoutMs);
    virtual void wakeWaiters() {}

private:
    QMutex m_mutex;
    void *m_listenerContext = nullptr;
    PacketListener m_listener = nullptr;
};
