#pragma once

#include "RDBasePlayerInput.h"
#include "RDPlayerQueue.h"

#include <QString>

#include <atomic>

struct AVFormatContext;
struct AVStream;
class RDPlayerInputRecvThread;

// The input stage over FFmpeg's demultiplexers. Its receive thread opens the
// url, then reads packets into a video and an audio queue, handing each to
// the packet listener first. States: 0 opened, 1 open failed, 2 ended,
// 4 seek done, 5 seek failed.
class RDPlayerInput : public RDBasePlayerInput
{
public:
    explicit RDPlayerInput(QObject *parent = nullptr);
    ~RDPlayerInput() override;

    void setUrl(const QString &url);
    void setDropWhenFull(bool drop);
    void setTimeout(double seconds);
    // Packets the video queue may hold before reading pauses; 0 or less: no limit.
    void setVideoQueueLimit(int limit);

    int start() override;
    void stop() override;
    void seek(double seconds) override;
    double duration() override;
    int popVideoPacket(RDBasePlayerInputPacket **packet) override;
    int popAudioPacket(RDBasePlayerInputPacket **packet) override;
    void releaseVideoPacket(RDBasePlayerInputPacket *packet) override;
    void releaseAudioPacket(RDBasePlayerInputPacket *packet) override;
    int createCodecContext(int type, int codecId, AVCodecContext **context, const AVCodec **codec) override;
    int freeCodecContext(int type, AVCodecContext **context, const AVCodec **codec) override;
    int status() override;
    bool isRunning() override;
    void flush() override;
    int copyCodecParameters(int type, AVCodecParameters *out) override;
    void waitForPacket(int mediaType, int timeoutMs) override;
    void wakeWaiters() override;

    int videoPacketCount() const;
    int audioPacketCount() const;

    // Body of the receive thread.
    void doRecv();

private:
    static int interruptCallback(void *opaque);
    int openInput();
    void closeInput();
    void emptyQueues();
    void seekNow();

    QString m_url;
    AVFormatContext *m_formatContext = nullptr;
    AVStream *m_videoStream = nullptr;
    AVStream *m_audioStream = nullptr;
    RDPlayerQueue<RDBasePlayerInputPacket> *m_videoQueue = nullptr;
    RDPlayerQueue<RDBasePlayerInputPacket> *m_audioQueue = nullptr;
    int m_videoQueueLimit = 30;
    RDPlayerInputRecvThread *m_thread = nullptr;
    std::atomic<bool> m_seekRequested{false};
    std::atomic<bool> m_demuxFlushRequested{false};
    std::atomic<double> m_seekTarget{0.0};
    std::atomic<double> m_duration{-1.0};
    bool m_dropWhenFull = false;
    std::atomic<double> m_openStartTime{0.0};
    double m_timeout = 0.0;
    // The streams' parameters, kept after the source is closed so that a
    // decoder opened late still gets them.
    QMutex m_parametersMutex;
    AVCodecParameters *m_videoParameters = nullptr;
    AVCodecParameters *m_audioParameters = nullptr;
};
