#pragma once

#include <cstdint>

class RDRingBuffer;
struct AVFrame;
struct SwrContext;

// Converts interleaved PCM from one rate, channel layout and sample format
// into another and keeps the result in a ring of 100 ms of output, from which
// a consumer pulls whole blocks. A consumer that falls behind loses the
// oldest audio rather than adding delay. Takes no lock: one thread at a time.
class RDAudioResampler
{
public:
    RDAudioResampler();
    ~RDAudioResampler();

    RDAudioResampler(const RDAudioResampler &) = delete;
    RDAudioResampler &operator=(const RDAudioResampler &) = delete;

    // Layouts are FFmpeg channel masks (mono 0x4, stereo 0x3), formats
    // FFmpeg sample formats (interleaved ones). Equal source and destination
    // copy the bytes unchanged. False only when a conversion is needed and
    // it cannot be set up; the owner then deletes the object.
    bool open(int srcRate, uint64_t srcLayout, int srcChannels, int srcFormat, int dstRate, uint64_t dstLayout,
              int dstChannels, int dstFormat);
    // Converts `len` bytes of source audio into the ring. Returns `len`, 0
    // when not open, -1 when the conversion cannot run (the bytes are lost).
    int write(const void *data, int len);
    // Copies exactly `len` bytes of converted audio out of the ring and
    // returns `len`; 0 and nothing copied while the ring holds fewer.
    int read(void *buffer, int len);
    // Bytes of converted audio waiting in the ring.
    int available() const;
    void close();

    bool isCopyMode() const { return m_convert == 0; }

private:
    int m_srcRate = 0;
    uint64_t m_srcLayout = 0;
    int m_srcChannels = 0;
    int m_srcFormat = 0;
    int m_dstRate = 0;
    uint64_t m_dstLayout = 0;
    int m_dstChannels = 0;
    int m_dstFormat = 0;
    int m_srcBytesPerSample = 0;
    int m_dstBytesPerSample = 0;
    int m_convert = 0;
    SwrContext *m_swr = nullptr;
    AVFrame *m_frame = nullptr;
    RDRingBuffer *m_ring = nullptr;
};
