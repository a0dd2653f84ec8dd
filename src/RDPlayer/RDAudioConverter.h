#pragma once

#include <QObject>

#include <cstdint>

struct AVFifo;
struct AVFrame;
struct SwrContext;

// Converts decoded audio frames of any layout, rate and sample format into
// interleaved bytes of one device format, kept in a byte FIFO from which the
// caller reads in pieces of its choice.
class RDAudioConverter : public QObject
{
public:
    // `format` is an FFmpeg sample format (packed).
    RDAudioConverter(int rate, int64_t layout, int channels, int format, QObject *parent = nullptr);
    ~RDAudioConverter() override;

    // Appends the frame's samples, converted, to the FIFO. -1 when the
    // conversion cannot be set up or fails; the frame is then dropped.
    int convert(const AVFrame *frame);
    int available() const;
    // Takes up to `size` bytes out of the FIFO; returns how many.
    int read(uint8_t *data, int size);

private:
    int createSwrContext();

    SwrContext *m_swr = nullptr;
    int m_sourceRate = -1;
    int64_t m_sourceLayout = -1;
    int m_sourceChannels = -1;
    int m_sourceFormat = -1;
    int m_destinationRate;
    int64_t m_destinationLayout;
    int m_destinationChannels;
    int m_destinationFormat;
    uint8_t *m_block = nullptr;
    AVFifo *m_fifo = nullptr;
    int m_blockSize = 4096;
    int m_bytesPerSample;
};
