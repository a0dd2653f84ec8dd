#include "RDPcmPlayer.h"

#include "RDAudioConverter.h"
#include "RDLog.h"

#include <QAudioDeviceInfo>
#include <QAudioOutput>
#include <QIODevice>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/samplefmt.h>
}

#define PCM_LOG(...) RDLogDetail("RDPcmPlayer", __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {

// Bytes taken from the converter per device write.
const int kConverterStep = 1024;

AVSampleFormat deviceSampleFormat(const QAudioFormat &format)
{
    switch (format.sampleSize()) {
    case 8:
        return AV_SAMPLE_FMT_U8;
    case 16:
        return AV_SAMPLE_FMT_S16;
    case 32:
        return format.sampleType() == QAudioFormat::Float ? AV_SAMPLE_FMT_FLT : AV_SAMPLE_FMT_S32;
    case 64:
        return AV_SAMPLE_FMT_DBL;
    default:
        return AV_SAMPLE_FMT_NONE;
    }
}

} // namespace

RDPcmPlayer::RDPcmPlayer(QObject *parent) : QObject(parent) {}

RDPcmPlayer::~RDPcmPlayer()
{
    stop();
    delete m_converter;
}

int RDPcmPlayer::start()
{
    stop();
    int result = -1;
    const QAudioDeviceInfo device = QAudioDeviceInfo::defaultOutputDevice();
    if (!device.isNull()) {
        QAudioFormat format = device.preferredFormat();
        const int size = format.sampleSize();
        if (size != 0 && size != 8 && size != 64)
            format.setSampleSize(16);
        if (!device.isFormatSupported(format)) {
            PCM_LOG("format not support, reformat");
            format = device.nearestFormat(format);
        }
        m_format = format;
        m_output = new QAudioOutput(device, format);
        m_device = m_output->start();
        if (m_device && m_output->error() == QAudio::NoError)
            result = 0;
    }
    m_abort = false;
    m_startFailed = result < 0;
    if (result < 0) {
        PCM_LOG("RDPcmPlayer start 1");
        delete m_output;
        m_output = nullptr;
        m_device = nullptr;
    }
    return result;
}

void RDPcmPlayer::stop()
{
    m_startFailed = true;
    if (m_output) {
        m_output->stop();
        delete m_output;
        m_output = nullptr;
    }
    m_device = nullptr;
}

void RDPcmPlayer::abort()
{
    QMutexLocker guard(&m_waitMutex);
    m_abort = true;
    m_abortEvent.wakeAll();
}

void RDPcmPlayer::setVolume(float volume)
{
    m_volume = volume;
}

int RDPcmPlayer::writeFrame(const AVFrame *frame)
{
    if (!m_format.isValid() || !frame)
        return -1;
    const AVSampleFormat target = deviceSampleFormat(m_format);
    if (target == AV_SAMPLE_FMT_NONE)
        return -1;
    const int channels = m_format.channelCount();
    if (frame->format == target && frame->ch_layout.nb_channels == channels
        && frame->sample_rate == m_format.sampleRate()) {
        const int bytes = av_get_bytes_per_sample(target) * channels * frame->nb_samples;
        return write(reinterpret_cast<const char *>(frame->data[0]), bytes) < 0 ? -1 : 0;
    }
    if (!m_converter) {
        AVChannelLayout layout{};
        av_channel_layout_default(&layout, channels);
        const int64_t mask = layout.order == AV_CHANNEL_ORDER_NATIVE ? int64_t(layout.u.mask) : 0;
        av_channel_layout_uninit(&layout);
        // Made on the writing thread, so it cannot be a Qt child of this
        // object (which lives on the thread that made the player).
        m_converter = new RDAudioConverter(m_format.sampleRate(), mask, channels, target, nullptr);
    }
    if (m_converter->convert(frame) < 0)
        return -1;
    uint8_t piece[kConverterStep];
    while (!m_abort && m_converter->available() >= kConverterStep) {
        m_converter->read(piece, kConverterStep);
        if (write(reinterpret_cast<const char *>(piece), kConverterStep) < 0)
            return -1;
    }
    return 0;
}

int RDPcmPlayer::write(const char *data, int len)
{
    if (!m_device || !m_output || m_startFailed)
        return -1;
    if (m_volume <= 0.0f)
        return len;
    if (len < 1)
        return 0;
    const int bytesPerSecond = qMax(m_format.bytesForDuration(1000000), 1);
    int written = 0;
    while (written < len && !m_abort) {
        const int period = m_output->periodSize();
        const int free = m_output->bytesFree();
        qint64 took = 0;
        if (period > 0 && free > 0)
            took = m_device->write(data + written, qMin(qMin(len - written, period), free));
        if (took > 0) {
            written += int(took);
            continue;
        }
        // The device is full: wait about half a period for it to play some,
        // or less when abort() comes first.
        const int waitMs = qBound(2, (qMax(period, 0) * 500) / bytesPerSecond, 50);
        QMutexLocker guard(&m_waitMutex);
        if (!m_abort)
            m_abortEvent.wait(&m_waitMutex, waitMs);
    }
    return 0;
}

double RDPcmPlayer::bufferedSeconds() const
{
    if (!m_output || m_startFailed)
        return 0.0;
    const int bytesPerSecond = m_format.bytesForDuration(1000000);
    if (bytesPerSecond <= 0)
        return 0.0;
    return double(qMax(m_output->bufferSize() - m_output->bytesFree(), 0)) / bytesPerSecond;
}
