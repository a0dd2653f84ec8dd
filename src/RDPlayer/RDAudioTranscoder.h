#pragma once

#include <deque>
#include <vector>

struct AVCodec;
struct AVCodecContext;
struct AVCodecParameters;
struct AVFifo;
struct AVFrame;
struct AVPacket;
struct SwrContext;

// Turns audio packets of one codec and sample layout into packets of
// another: decode, resample, re-block to the encoder's frame size, encode.
// When both sides are equal the packets pass through as clones. Takes no
// lock: one thread at a time, or under the owner's lock.
class RDAudioTranscoder
{
public:
    RDAudioTranscoder();
    ~RDAudioTranscoder();

    RDAudioTranscoder(const RDAudioTranscoder &) = delete;
    RDAudioTranscoder &operator=(const RDAudioTranscoder &) = delete;

    // Both parameter sets are copied. A destination frame size below 1
    // means 20 ms frames. False when a side cannot be opened; the owner
    // then calls close() and deletes the object.
    bool open(const AVCodecParameters *src, const AVCodecParameters *dst);
    // Queues the packet's transcoded output (or a clone of it when passing
    // through). The caller keeps `packet`. The decoder's negative error
    // when it refuses the packet, else 0.
    int pushPacket(const AVPacket *packet);
    // The oldest queued packet, or null; the caller frees it with
    // av_packet_free.
    AVPacket *popPacket();
    bool isEmpty() const;
    // Frees everything; safe on a partly opened or closed object.
    void close();

    bool isPassThrough() const { return m_mode == 0; }

private:
    bool setupConverter(int format, int rate, const void *layout);
    void convertFrame(const AVFrame *decoded);
    void storeConverted(int samples);
    void encodeBlocks();
    void drainEncoder();

    int m_mode = 0;
    SwrContext *m_swr = nullptr;
    // What the converter was built for: a decoded frame that differs gets
    // a converter of its own before its samples are read.
    int m_swrInFormat = -1;
    int m_swrInRate = 0;
    int m_swrInChannels = 0;
    unsigned long long m_swrInMask = 0;
    AVFrame *m_resampleFrame = nullptr;
    const AVCodec *m_decoder = nullptr;
    AVCodecContext *m_decoderContext = nullptr;
    AVCodecParameters *m_srcParams = nullptr;
    const AVCodec *m_encoder = nullptr;
    AVCodecContext *m_encoderContext = nullptr;
    AVCodecParameters *m_dstParams = nullptr;
    AVFrame *m_encoderFrame = nullptr;
    AVFrame *m_decodedFrame = nullptr;
    AVPacket *m_encodedPacket = nullptr;
    // One FIFO per destination plane (one for an interleaved format).
    std::vector<AVFifo *> m_fifos;
    int m_blockBytes = 0;
    std::deque<AVPacket *> m_queue;
    bool m_queueOpen = false;
};
