#include "RDAudioConverter.h"

#include "RDLog.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/fifo.h>
#include <libavutil/frame.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#define CONVERTER_LOG(...) RDLogDetail("RDAudioConverter", __FUNCTION__, __LINE__, 5, __VA_ARGS__)

RDAudioConverter::RDAudioConverter(int rate, int64_t layout, int channels, int format, QObject *parent)
    : QObject(parent), m_destinationRate(rate), m_destinationLayout(layout), m_destinationChannels(channels),
      m_destinationFormat(format)
{
    CONVERTER_LOG("rate = %d, layout = %lld, channels = %d, format = %d", rate, static_cast<long long>(layout),
                  channels, format);
    m_bytesPerSample = av_get_bytes_per_sample(AVSampleFormat(format));
    const size_t blockBytes = size_t(m_blockSize) * size_t(qMax(channels, 1)) * size_t(qMax(m_bytesPerSample, 1));
    m_block = static_cast<uint8_t *>(av_malloc(blockBytes));
    // Four blocks to start with; a large frame makes it grow rather than
    // lose samples.
    m_fifo = av_fifo_alloc2(blockBytes * 4, 1, AV_FIFO_FLAG_AUTO_GROW);
}

RDAudioConverter::~RDAudioConverter()
{
    swr_free(&m_swr);
    av_freep(&m_block);
    av_fifo_freep2(&m_fifo);
}

int RDAudioConverter::createSwrContext()
{
    swr_free(&m_swr);
    AVChannelLayout destination{};
    AVChannelLayout source{};
    av_channel_layout_from_mask(&destination, uint64_t(m_destinationLayout));
    av_channel_layout_default(&source, m_sourceChannels);
    if (m_sourceLayout > 0 && av_popcount64(uint64_t(m_sourceLayout)) == m_sourceChannels)
        av_channel_layout_from_mask(&source, uint64_t(m_sourceLayout));
    int result = swr_alloc_set_opts2(&m_swr, &destination, AVSampleFormat(m_destinationFormat), m_destinationRate,
                                     &source, AVSampleFormat(m_sourceFormat), m_sourceRate, 0, nullptr);
    av_channel_layout_uninit(&destination);
    av_channel_layout_uninit(&source);
    CONVERTER_LOG("src format = %d, dst format = %d", m_sourceFormat, m_destinationFormat);
    if (result >= 0)
        result = swr_init(m_swr);
    if (result < 0)
        swr_free(&m_swr);
    return result < 0 ? -1 : 0;
}

int RDAudioConverter::convert(const AVFrame *frame)
{
    if (!frame || !m_block || !m_fifo || m_bytesPerSample <= 0)
        return -1;
    const int channels = frame->ch_layout.nb_channels;
    const int64_t layout = frame->ch_layout.order == AV_CHANNEL_ORDER_NATIVE ? int64_t(frame->ch_layout.u.mask) : 0;
    if (frame->sample_rate != m_sourceRate || channels != m_sourceChannels || layout != m_sourceLayout
        || frame->format != m_sourceFormat || !m_swr) {
        const bool changed = frame->sample_rate != m_sourceRate || channels != m_sourceChannels
            || layout != m_sourceLayout || frame->format != m_sourceFormat;
        m_sourceRate = frame->sample_rate;
        m_sourceChannels = channels;
        m_sourceLayout = layout;
        m_sourceFormat = frame->format;
        // A set-up that failed is not tried again until the source changes.
        if (changed && createSwrContext() < 0)
            return -1;
        if (!m_swr)
            return -1;
    }
    const size_t sampleBytes = size_t(m_bytesPerSample) * size_t(m_destinationChannels);
    // One call per frame with room for all it yields: a call without input
    // would flush the resampler's delay in the middle of the stream.
    const int needed = swr_get_out_samples(m_swr, frame->nb_samples);
    if (needed > m_blockSize) {
        uint8_t *bigger = static_cast<uint8_t *>(av_realloc(m_block, sampleBytes * size_t(needed)));
        if (!bigger)
            return -1;
        m_block = bigger;
        m_blockSize = needed;
    }
    const int got = swr_convert(m_swr, &m_block, m_blockSize, const_cast<const uint8_t **>(frame->extended_data),
                                frame->nb_samples);
    if (got > 0 && av_fifo_write(m_fifo, m_block, sampleBytes * size_t(got)) < 0)
        return -1;
    return got < 0 ? -1 : 0;
}

int RDAudioConverter::available() const
{
    return m_fifo ? int(av_fifo_can_read(m_fifo)) : 0;
}

int RDAudioConverter::read(uint8_t *data, int size)
{
    const int count = qMin(size, available());
    if (count <= 0 || av_fifo_read(m_fifo, data, size_t(count)) < 0)
        return 0;
    return count;
}
