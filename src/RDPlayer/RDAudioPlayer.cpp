#include "RDAudioPlayer.h"

#include "CoreAudioRender.h"
#include "RDAudioPlayerObserver.h"
#include "RDAudioPlayerThread.h"
#include "RDAudioTranscoder.h"
#include "RDLog.h"
#include "RDThreadLocker.h"

#include <QMutex>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/fifo.h>
}

#include <cstring>

#define AUDIOPLAYER_LOG(...) RDLogDetail("RDAudioPlayer", __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {
// Longest single wait of the thread for the render; its events end it sooner.
const int kRenderWaitMs = 100;

struct DeviceSampleFormat {
    AVSampleFormat format;
    AVCodecID codec;
};

DeviceSampleFormat deviceSampleFormat(const RDAudioFormat &format)
{
    if (format.formatTag == RDAudioFormat::Pcm) {
        switch (format.bitsPerSample) {
        case 8:
            return {AV_SAMPLE_FMT_U8, AV_CODEC_ID_PCM_U8};
        case 16:
            return {AV_SAMPLE_FMT_S16, AV_CODEC_ID_PCM_S16LE};
        case 32:
            return {AV_SAMPLE_FMT_S32, AV_CODEC_ID_PCM_S32LE};
        case 64:
            return {AV_SAMPLE_FMT_S64, AV_CODEC_ID_PCM_S64LE};
        default:
            break;
        }
    } else if (format.formatTag == RDAudioFormat::Float) {
        if (format.bitsPerSample == 32)
            return {AV_SAMPLE_FMT_FLT, AV_CODEC_ID_PCM_F32LE};
        if (format.bitsPerSample == 64)
            return {AV_SAMPLE_FMT_DBL, AV_CODEC_ID_PCM_F64LE};
    }
    return {AV_SAMPLE_FMT_NONE, AV_CODEC_ID_NONE};
}
} // namespace

RDAudioPlayer::RDAudioPlayer() = default;

RDAudioPlayer::~RDAudioPlayer()
{
    stop();
}

void RDAudioPlayer::setUrl(const QString &url)
{
    m_url = url;
}

void RDAudioPlayer::setObserver(RDAudioPlayerObserver *observer)
{
    m_observer = observer;
}

void RDAudioPlayer::start()
{
    if (m_thread)
        return;
    m_lock = new RDThreadLocker();
    m_renderReady = false;
    m_thread = new RDAudioPlayerThread(this);
    m_thread->start();
}

void RDAudioPlayer::stop()
{
    if (m_thread) {
        m_thread->stop();
        {
            QMutexLocker guard(m_lock->mutex());
            m_renderEvent.wakeAll();
        }
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    delete m_lock;
    m_lock = nullptr;
}

bool RDAudioPlayer::isRunning() const
{
    return m_thread != nullptr;
}

QByteArray RDAudioPlayer::openName(const QString &url)
{
    QByteArray name = url.toUtf8();
    // Network URLs must not carry spaces; a file's own name keeps them.
    const int scheme = name.indexOf("://");
    if (scheme > 0 && !name.startsWith("file:"))
        name.replace(" ", "%20");
    return name;
}

int RDAudioPlayer::interruptCallback(void *opaque)
{
    auto *player = static_cast<RDAudioPlayer *>(opaque);
    if (!player)
        return -1;
    if (!player->m_thread)
        return 1;
    return player->m_thread->isStopped() ? 1 : 0;
}

bool RDAudioPlayer::openFile()
{
    const QByteArray name = openName(m_url);
    m_formatContext = avformat_alloc_context();
    bool opened = false;
    if (m_formatContext) {
        m_formatContext->interrupt_callback.callback = &RDAudioPlayer::interruptCallback;
        m_formatContext->interrupt_callback.opaque = this;
        AVDictionary *options = nullptr;
        av_dict_set(&options, "timeout", "10000000", 0);
        if (avformat_open_input(&m_formatContext, name.constData(), nullptr, &options) == 0
            && avformat_find_stream_info(m_formatContext, nullptr) == 0) {
            for (unsigned i = 0; i < m_formatContext->nb_streams; ++i) {
                if (m_formatContext->streams[i]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
                    m_audioStream = m_formatContext->streams[i];
                    break;
                }
            }
        }
        av_dict_free(&options);
        opened = m_audioStream != nullptr;
    }
    if (m_observer) {
        if (opened)
            m_observer->onOpenSuccess(this, m_url);
        else
            m_observer->onOpenFailure(this);
    }
    AUDIOPLAYER_LOG("open file %s %s", name.constData(), opened ? "success" : "failure");
    return opened;
}

void RDAudioPlayer::closeFile()
{
    m_audioStream = nullptr;
    avformat_close_input(&m_formatContext);
}

void RDAudioPlayer::play(RDThread *thread)
{
    if (!openFile()) {
        closeFile();
        return;
    }

    m_render = new CoreAudioRender();
    m_render->setObserver(this);
    m_render->start();

    // Packets read before the render has opened (and made the transcoder)
    // would be lost, and a local file can be read whole by then.
    {
        QMutexLocker guard(m_lock->mutex());
        while (!m_renderReady && !thread->isStopped())
            m_renderEvent.wait(m_lock->mutex(), kRenderWaitMs);
    }

    AVPacket *packet = av_packet_alloc();
    while (packet && !thread->isStopped() && av_read_frame(m_formatContext, packet) >= 0) {
        if (packet->stream_index == m_audioStream->index) {
            QMutexLocker guard(m_lock->mutex());
            if (m_transcoder)
                m_transcoder->pushPacket(packet);
        }
        av_packet_unref(packet);
    }
    av_packet_free(&packet);

    // Drain: wait until the render has taken everything transcoded, down
    // to the last whole period in the FIFO.
    {
        QMutexLocker guard(m_lock->mutex());
        while (!thread->isStopped() && m_transcoder
               && (!m_transcoder->isEmpty() || (m_fifo && av_fifo_can_read(m_fifo) >= size_t(m_periodBytes))))
            m_renderEvent.wait(m_lock->mutex(), kRenderWaitMs);
    }

    m_render->stop();
    delete m_render;
    m_render = nullptr;
    closeFile();
    if (m_observer)
        m_observer->onPlayEnded(this);
}

void RDAudioPlayer::onRenderStarted(CoreAudioRender *render)
{
    QMutexLocker guard(m_lock->mutex());
    const RDAudioFormat &format = *render->format();
    AVCodecParameters *source = avcodec_parameters_alloc();
    AVCodecParameters *target = avcodec_parameters_alloc();
    const DeviceSampleFormat sample = deviceSampleFormat(format);
    if (source && target && m_audioStream && avcodec_parameters_copy(source, m_audioStream->codecpar) >= 0) {
        target->codec_type = AVMEDIA_TYPE_AUDIO;
        target->codec_id = sample.codec;
        target->format = sample.format;
        target->sample_rate = format.sampleRate;
        // Mono and stereo as the endpoint has them; wider endpoints get
        // their channel count's usual layout.
        if (format.channels < 2)
            av_channel_layout_from_mask(&target->ch_layout, AV_CH_LAYOUT_MONO);
        else if (format.channels == 2)
            av_channel_layout_from_mask(&target->ch_layout, AV_CH_LAYOUT_STEREO);
        else
            av_channel_layout_default(&target->ch_layout, format.channels);

        const int bytesPerSample = av_get_bytes_per_sample(sample.format);
        const size_t second = size_t(qMax(format.channels, 1)) * size_t(qMax(format.sampleRate, 0))
            * size_t(qMax(bytesPerSample, 0));
        if (second > 0)
            m_fifo = av_fifo_alloc2(second, 1, 0);
        if (m_fifo && sample.codec != AV_CODEC_ID_NONE) {
            m_transcoder = new RDAudioTranscoder();
            if (!m_transcoder->open(source, target)) {
                AUDIOPLAYER_LOG("transcoder open failed, rate = %d, channels = %d, bits = %d", format.sampleRate,
                                format.channels, format.bitsPerSample);
                m_transcoder->close();
                delete m_transcoder;
                m_transcoder = nullptr;
            }
        }
    }
    avcodec_parameters_free(&source);
    avcodec_parameters_free(&target);
    m_renderReady = true;
    m_renderEvent.wakeAll();
}

void RDAudioPlayer::onRenderClosed(CoreAudioRender *)
{
    QMutexLocker guard(m_lock->mutex());
    if (m_transcoder) {
        m_transcoder->close();
        delete m_transcoder;
        m_transcoder = nullptr;
    }
    av_fifo_freep2(&m_fifo);
    m_renderReady = true;
    m_renderEvent.wakeAll();
}

void RDAudioPlayer::onRenderData(CoreAudioRender *, unsigned char *buffer, int, int bytes)
{
    QMutexLocker guard(m_lock->mutex());
    if (!m_fifo || bytes <= 0)
        return;
    m_periodBytes = bytes;
    while (av_fifo_can_read(m_fifo) < size_t(bytes)) {
        AVPacket *packet = m_transcoder ? m_transcoder->popPacket() : nullptr;
        if (!packet) {
            AUDIOPLAYER_LOG("render read NULL packet");
            break;
        }
        if (packet->size > 0 && size_t(packet->size) <= av_fifo_can_write(m_fifo))
            av_fifo_write(m_fifo, packet->data, size_t(packet->size));
        av_packet_free(&packet);
    }
    if (av_fifo_can_read(m_fifo) >= size_t(bytes))
        av_fifo_read(m_fifo, buffer, size_t(bytes));
    m_renderEvent.wakeAll();
}
