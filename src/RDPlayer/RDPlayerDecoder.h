#pragma once

#include "RDBasePlayerDecoder.h"
#include "RDPlayerQueue.h"

#include <QMutex>

#include <atomic>

struct AVCodec;
struct AVFrame;
struct AVPacket;
class RDBasePlayerInputPacket;
class RDPlayerStageThread;
class RDPlayerDecoderVideoThread;
class RDPlayerDecoderAudioThread;

// The decoder stage over FFmpeg's decoders: a video and an audio thread take
// packets from the input, decode them and queue the frames, stamped in
// seconds, for the output stage. Video waits while more than the frame limit
// is queued; audio is not bounded (the sound device paces it).
class RDPlayerDecoder : public RDBasePlayerDecoder
{
public:
    explicit RDPlayerDecoder(QObject *parent = nullptr);
    ~RDPlayerDecoder() override;

    int start() override;
    void stop() override;
    AVCodecContext *videoCodecContext() override;
    AVCodecContext *audioCodecContext() override;
    int videoFrameCount() override;
    int audioFrameCount() override;
    int popVideoFrame(RDBasePlayerDecoderFrame **frame) override;
    int popAudioFrame(RDBasePlayerDecoderFrame **frame) override;
    void releaseVideoFrame(RDBasePlayerDecoderFrame *frame) override;
    void releaseAudioFrame(RDBasePlayerDecoderFrame *frame) override;
    bool isRunning() override;
    void requestFlush() override;
    void waitForFrame(int mediaType, int timeoutMs) override;
    void wakeWaiters() override;
    int copyCodecParameters(int type, AVCodecParameters *out) override;

    void setDecodeAudio(bool decode);
    bool isDecodingAudio() const { return m_decodeAudio; }

    // Bodies of the two threads.
    void decodeVideo(RDPlayerStageThread *thread);
    void decodeAudio(RDPlayerStageThread *thread);

private:
    // One kind's decoder (type 0 video, 1 audio).
    struct Codec {
        int type = 0;
        int codecId = 0;
        const AVCodec *codec = nullptr;
        AVCodecContext *context = nullptr;
        AVFrame *frame = nullptr;
        double lastTime = -1.0;
        int timeBaseNum = 0;
        int timeBaseDen = 1;
    };

    int openCodec(Codec &codec, int codecId);
    void closeCodec(Codec &codec);
    void sendPacket(Codec &codec, RDPlayerQueue<RDBasePlayerDecoderFrame> *queue, RDBasePlayerInputPacket *packet);
    void receiveFrames(Codec &codec, RDPlayerQueue<RDBasePlayerDecoderFrame> *queue);
    void drain(Codec &codec, RDPlayerQueue<RDBasePlayerDecoderFrame> *queue);

    RDPlayerQueue<RDBasePlayerDecoderFrame> *m_videoQueue = nullptr;
    RDPlayerQueue<RDBasePlayerDecoderFrame> *m_audioQueue = nullptr;
    int m_videoFrameLimit = 4;
    RDPlayerDecoderVideoThread *m_videoThread = nullptr;
    RDPlayerDecoderAudioThread *m_audioThread = nullptr;
    // Guards the two contexts against readers on other threads (the recorder).
    QMutex m_codecMutex;
    Codec m_video;
    Codec m_audio;
    std::atomic<bool> m_decodeAudio{true};
    std::atomic<bool> m_videoFlushRequested{false};
    std::atomic<bool> m_audioFlushRequested{false};
};
