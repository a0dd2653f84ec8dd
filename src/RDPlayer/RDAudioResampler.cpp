#include "RDAudioResampler.h"

#include "RDLog.h"
#include "RDRingBuffer.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
#include <libswresample/swresample.h>
}

namespace {
// A native-order layout of `channels` channels, from `mask` when the two agree.
AVChannelLayout makeLayout(uint64_t mask, int channels)
{
    AVChannelLayout layout;
    if (mask == 0 || av_channel_layout_from_mask(&layout, mask) < 0 || layout.nb_channels != channels)
        av_channel_layout_default(&layout, channels);
    return layout;
}

bool isPlanarMultiChannel(int format, int channels)
{
    return channels > 1 && av_sample_fmt_is_planar(static_cast<AVSampleFormat>(format));
}
} // namespace

RDAudioResampler::RDAudioResampler() = default;

RDAudioResampler::~RDAudioResampler()
{
    close();
}

bool RDAudioResampler::open(int srcRate, uint64_t srcLayout, int srcChannels, int srcFormat, int dstRate,
                            uint64_t dstLayout, int dstChannels, int dstFormat)
{
    close();
    m_srcRate = srcRate;
    m_srcLayout = srcLayout;
    m_srcChannels = srcChannels;
    m_srcFormat = srcFormat;
    m_dstRate = dstRate;
    m_dstLayout = dstLayout;
    m_dstChannels = dstChannels;
    m_dstFormat = dstFormat;

    const AVSampleFormat srcFmt = static_cast<AVSampleFormat>(srcFormat);
    const AVSampleFormat dstFmt = static_cast<AVSampleFormat>(dstFormat);
    m_srcBytesPerSample = av_get_bytes_per_sample(srcFmt);
    m_dstBytesPerSample = av_get_bytes_per_sample(dstFmt);
    if (srcRate <= 0 || dstRate <= 0 || srcChannels <= 0 || dstChannels <= 0 || m_srcBytesPerSample <= 0 ||
        m_dstBytesPerSample <= 0) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "resampler refused rate %d/%d channels %d/%d format %d/%d",
                    srcRate, dstRate, srcChannels, dstChannels, srcFormat, dstFormat);
        return false;
    }
    if (srcRate == dstRate && srcLayout == dstLayout && srcChannels == dstChannels && srcFormat == dstFormat) {
        m_convert = 0;
    } else {
        m_convert = 1;
        // Data arrives and leaves as one interleaved buffer: a planar layout
        // of several channels cannot be converted from or into it.
        if (isPlanarMultiChannel(srcFormat, srcChannels) || isPlanarMultiChannel(dstFormat, dstChannels)) {
            RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "resampler needs interleaved samples");
            return false;
        }
        AVChannelLayout in = makeLayout(srcLayout, srcChannels);
        AVChannelLayout out = makeLayout(dstLayout, dstChannels);
        int ret = swr_alloc_set_opts2(&m_swr, &out, dstFmt, dstRate, &in, srcFmt, srcRate, 0, nullptr);
        if (ret >= 0)
            ret = swr_init(m_swr);
        av_channel_layout_uninit(&in);
        av_channel_layout_uninit(&out);
        if (ret < 0) {
            RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "resampler set-up failure %d", ret);
            swr_free(&m_swr);
            return false;
        }
    }
    m_ring = new RDRingBuffer(dstChannels * dstRate * m_dstBytesPerSample / 10);
    return true;
}

int RDAudioResampler::write(const void *data, int len)
{
    if (!m_ring)
        return 0;
    if (len <= 0 || !data)
        return 0;
    if (!m_convert)
        return m_ring->write(static_cast<const char *>(data), len);
    if (!m_swr)
        return -1;

    const int inSamples = len / m_srcBytesPerSample / m_srcChannels;
    if (inSamples < 1)
        return -1;
    // Room for everything this input and the samples held back can give, so
    // one conversion takes it all; the frame grows, it is not remade per call.
    const int capacity = swr_get_out_samples(m_swr, inSamples);
    if (capacity < 1)
        return len;
    if (!m_frame || m_frame->nb_samples < capacity) {
        av_frame_free(&m_frame);
        m_frame = av_frame_alloc();
        if (!m_frame)
            return -1;
        m_frame->format = m_dstFormat;
        m_frame->sample_rate = m_dstRate;
        m_frame->nb_samples = capacity;
        AVChannelLayout out = makeLayout(m_dstLayout, m_dstChannels);
        av_channel_layout_copy(&m_frame->ch_layout, &out);
        av_channel_layout_uninit(&out);
        if (av_frame_get_buffer(m_frame, 0) < 0) {
            av_frame_free(&m_frame);
            return -1;
        }
        m_frame->pts = AV_NOPTS_VALUE;
        m_frame->pkt_dts = AV_NOPTS_VALUE;
    }

    const int frameBytes = m_dstChannels * m_dstBytesPerSample;
    const uint8_t *in = static_cast<const uint8_t *>(data);
    int produced = swr_convert(m_swr, m_frame->data, m_frame->nb_samples, &in, inSamples);
    // Further passes only collect what did not fit. They pass an empty input,
    // never a null one: a null input ends the stream and pads its tail, which
    // would put a gap into the audio at every write.
    while (produced > 0) {
        m_ring->write(reinterpret_cast<const char *>(m_frame->data[0]), produced * frameBytes);
        if (produced < m_frame->nb_samples)
            break;
        const uint8_t *none[1] = {in};
        produced = swr_convert(m_swr, m_frame->data, m_frame->nb_samples, none, 0);
    }
    return len;
}

int RDAudioResampler::read(void *buffer, int len)
{
    if (!m_ring || len <= 0 || !buffer || m_ring->size() < len)
        return 0;
    return m_ring->read(static_cast<char *>(buffer), len);
}

int RDAudioResampler::available() const
{
    return m_ring ? m_ring->size() : 0;
}

void RDAudioResampler::close()
{
    delete m_ring;
    m_ring = nullptr;
    swr_free(&m_swr);
    av_frame_free(&m_frame);
    m_convert = 0;
}
