#include "RDPlayerRecorder.h"

#include "RDBasePlayerDecoder.h"
#include "RDBasePlayerInput.h"
#include "RDBasePlayerInputPacket.h"
#include "RDLog.h"
#include "RDPlayerRecoderThread.h"
#include "RDPlayerRecorderObserver.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/mem.h>
}

#include <QFile>

#include <cstring>
#include <utility>

#define RECORDER_LOG(...) RDLogDetail("RDPlayerRecorder", __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {
// Longest single wait for a tapped packet; new packets and stops end it sooner.
const int kWaitMs = 100;
// How long a recording's set-up waits for the decoder to know the picture size.
const int kDecoderWaitMs = 10;
const int kDecoderWaitRounds = 200;

bool isKeyFrameUnit(uint8_t header, int codecId)
{
    if (codecId == AV_CODEC_ID_H264)
        return (header & 31) == 5;
    if (codecId == AV_CODEC_ID_HEVC) {
        const int type = (header >> 1) & 63;
        return type >= 16 && type <= 23;
    }
    return false;
}
} // namespace

RDPlayerRecorder::RDPlayerRecorder(RDBasePlayerInput *input, RDBasePlayerDecoder *decoder)
    : m_input(input), m_decoder(decoder)
{
}

RDPlayerRecorder::~RDPlayerRecorder()
{
    stop();
}

void RDPlayerRecorder::setObserver(RDPlayerRecorderObserver *observer)
{
    m_observer = observer;
}

void RDPlayerRecorder::setParams(const QString &path, const QString &formatName, double seconds)
{
    m_path = path;
    m_formatName = formatName;
    m_seconds = seconds;
}

int RDPlayerRecorder::start()
{
    if (m_thread)
        return 0;
    m_queue = new RDPlayerQueue<RDBasePlayerInputPacket>();
    m_thread = new RDPlayerRecoderThread(this);
    m_thread->start();
    return 0;
}

void RDPlayerRecorder::stop()
{
    if (m_thread) {
        m_thread->stop();
        m_queue->wake();
        RDPlayerStageThread::join(m_thread);
    }
    // The tap is detached by the thread; this covers a thread that never ran.
    if (m_input)
        m_input->setPacketListener(nullptr, nullptr);
    delete m_queue;
    m_queue = nullptr;
}

bool RDPlayerRecorder::isRecording() const
{
    return m_thread && !m_thread->isStopped();
}

void RDPlayerRecorder::report(int status, double current, double total)
{
    if (m_observer)
        m_observer->onRecorderStatusChanged(this, status, current, total);
}

void RDPlayerRecorder::tap(void *context, RDBasePlayerInputPacket *packet)
{
    auto *recorder = static_cast<RDPlayerRecorder *>(context);
    if (!recorder || !packet)
        return;
    if (packet->mediaType() != RDBasePlayerInputPacket::Video && packet->mediaType() != RDBasePlayerInputPacket::Audio)
        return;
    if (RDBasePlayerInputPacket *copy = packet->copy())
        recorder->m_queue->push(copy);
}

int RDPlayerRecorder::headerDataSize(const uint8_t *data, int size, int codecId)
{
    if (!data)
        return 0;
    // Start codes of three bytes, or four with a leading zero.
    for (int offset = 0; offset + 5 <= size; ++offset) {
        if (data[offset] == 0 && data[offset + 1] == 0 && data[offset + 2] == 1
            && isKeyFrameUnit(data[offset + 3], codecId))
            return offset > 0 && data[offset - 1] == 0 ? offset - 1 : offset;
    }
    return 0;
}

int RDPlayerRecorder::addStream(int type, const RDBasePlayerInputPacket *keyPacket)
{
    AVCodecParameters *parameters = avcodec_parameters_alloc();
    if (!parameters)
        return -1;
    // A source without this kind of stream records without it.
    if (m_input->copyCodecParameters(type, parameters) < 0) {
        avcodec_parameters_free(&parameters);
        return type == 0 ? -1 : 0;
    }
    // The decoder's parameters are better: decoding fills in what the
    // container header left out (picture size and sample rate of a transport
    // stream, for one). A recording that begins with the stream may be a
    // moment ahead of the decoder, so it waits briefly for them.
    AVCodecParameters *decoded = avcodec_parameters_alloc();
    for (int attempt = 0; decoded && m_decoder && attempt < kDecoderWaitRounds; ++attempt) {
        if (m_decoder->copyCodecParameters(type, decoded) >= 0
            && (type == 0 ? decoded->width > 0 : decoded->sample_rate > 0)) {
            std::swap(parameters, decoded);
            break;
        }
        if (!m_thread || m_thread->isStopped())
            break;
        m_thread->sleep(kDecoderWaitMs);
    }
    avcodec_parameters_free(&decoded);
    AVStream *stream = avformat_new_stream(m_outputContext, nullptr);
    if (!stream) {
        avcodec_parameters_free(&parameters);
        return -1;
    }
    stream->id = int(m_outputContext->nb_streams) - 1;
    if (type == 0) {
        RECORDER_LOG("video codec->name = %s", avcodec_get_name(parameters->codec_id));
        // Streams that carry their parameter sets in band (Annex B) get them
        // as header data from the key frame.
        if (parameters->extradata_size == 0) {
            const AVPacket *packet = keyPacket->packet();
            const int headerSize = headerDataSize(packet->data, packet->size, parameters->codec_id);
            RECORDER_LOG("extradata_size = %d", headerSize);
            if (headerSize > 0) {
                parameters->extradata =
                    static_cast<uint8_t *>(av_mallocz(size_t(headerSize) + AV_INPUT_BUFFER_PADDING_SIZE));
                if (parameters->extradata) {
                    std::memcpy(parameters->extradata, packet->data, size_t(headerSize));
                    parameters->extradata_size = headerSize;
                }
            }
        }
        stream->time_base = keyPacket->packet()->time_base;
        m_videoStream = stream;
    } else {
        RECORDER_LOG("audio codec->name = %s", avcodec_get_name(parameters->codec_id));
        stream->time_base = AVRational{1, parameters->sample_rate > 0 ? parameters->sample_rate : 90000};
        m_audioStream = stream;
    }
    parameters->codec_tag = 0;
    const int result = avcodec_parameters_copy(stream->codecpar, parameters);
    avcodec_parameters_free(&parameters);
    return result < 0 ? -1 : 0;
}

int RDPlayerRecorder::initRecord(const RDBasePlayerInputPacket *packet)
{
    const QByteArray path = m_path.toUtf8();
    const QByteArray format = m_formatName.toUtf8();
    if (avformat_alloc_output_context2(&m_outputContext, nullptr, format.isEmpty() ? nullptr : format.constData(),
                                       path.constData())
            < 0
        || !m_outputContext)
        return -1;
    if (addStream(0, packet) < 0 || addStream(1, packet) < 0) {
        finish();
        return -1;
    }
    if (!(m_outputContext->oformat->flags & AVFMT_NOFILE)) {
        if (avio_open(&m_outputContext->pb, path.constData(), AVIO_FLAG_WRITE) < 0) {
            RECORDER_LOG("avio_open < 0");
            finish();
            return -1;
        }
    }
    const int result = avformat_write_header(m_outputContext, nullptr);
    if (result < 0) {
        char text[AV_ERROR_MAX_STRING_SIZE] = {0};
        av_strerror(result, text, sizeof(text));
        RECORDER_LOG("avformat_write_header = %d, %s", result, text);
        finish();
        // Nothing usable was written: leave no empty file behind.
        QFile::remove(m_path);
        return -1;
    }
    m_lastVideoTime = 0.0;
    m_lastAudioTime = 0.0;
    m_firstVideoTime = -1.0;
    m_firstAudioTime = -1.0;
    m_lastVideoDts = INT64_MIN;
    m_lastAudioDts = INT64_MIN;
    av_dump_format(m_outputContext, 0, path.constData(), 1);
    return 0;
}

int RDPlayerRecorder::writePacket(RDBasePlayerInputPacket *item)
{
    AVPacket *packet = item->packet();
    const bool video = item->mediaType() == RDBasePlayerInputPacket::Video;
    AVStream *stream = video ? m_videoStream : m_audioStream;
    if (!stream)
        return video ? -1 : 0;
    // Without a decoding timestamp a packet cannot be placed.
    if (packet->dts == AV_NOPTS_VALUE || packet->time_base.den == 0)
        return 0;
    const double time = double(packet->dts) * av_q2d(packet->time_base);
    // One origin for both streams, the key frame the recording starts on,
    // keeps sound and picture in step.
    if (m_firstVideoTime < 0) {
        if (!video)
            return 0;
        m_firstVideoTime = time;
        m_firstAudioTime = time;
        m_lastVideoTime = time;
    }
    const double origin = m_firstVideoTime;
    if (time < origin)
        return 0;
    const double previous = video ? m_lastVideoTime : (m_lastAudioTime > 0 ? m_lastAudioTime : time);
    const AVRational base = stream->time_base;
    const int64_t dts = int64_t((time - origin) / av_q2d(base) + 0.5);
    int64_t &lastDts = video ? m_lastVideoDts : m_lastAudioDts;
    if (dts <= lastDts)
        return 0;
    lastDts = dts;
    // Presentation and decoding order differ with B-frames: both are rebased.
    int64_t pts = dts;
    if (packet->pts != AV_NOPTS_VALUE) {
        const double ptsTime = double(packet->pts) * av_q2d(packet->time_base);
        pts = qMax(dts, int64_t((ptsTime - origin) / av_q2d(base) + 0.5));
    }
    const int64_t duration = packet->duration > 0 ? av_rescale_q(packet->duration, packet->time_base, base)
                                                  : int64_t((time - previous) / av_q2d(base));
    if (video) {
        m_lastVideoTime = time;
        RECORDER_LOG("write video flags = %d, pts = %lld, duration = %lld, time = %.2lf, srcTime = %.3lf",
                     packet->flags, static_cast<long long>(pts), static_cast<long long>(duration),
                     double(pts) * av_q2d(base), time);
    } else {
        m_lastAudioTime = time;
        RECORDER_LOG("write audio pts = %lld, frame_size = %d, duration = %lld, time = %.2lf, srcTime = %.3lf",
                     static_cast<long long>(pts), stream->codecpar->frame_size, static_cast<long long>(duration),
                     double(pts) * av_q2d(base), time);
    }
    packet->pts = pts;
    packet->dts = dts;
    packet->duration = duration;
    packet->stream_index = stream->index;
    packet->time_base = base;
    const int result = av_interleaved_write_frame(m_outputContext, packet);
    if (result >= 0 && video)
        report(3, m_lastVideoTime - m_firstVideoTime, -1.0);
    return result;
}

void RDPlayerRecorder::finish()
{
    if (!m_outputContext)
        return;
    if (m_outputContext->nb_streams > 0 && m_outputContext->pb && m_firstVideoTime >= 0)
        av_write_trailer(m_outputContext);
    if (!(m_outputContext->oformat->flags & AVFMT_NOFILE))
        avio_closep(&m_outputContext->pb);
    avformat_free_context(m_outputContext);
    m_outputContext = nullptr;
    m_videoStream = nullptr;
    m_audioStream = nullptr;
}

void RDPlayerRecorder::doRecord(RDThread *thread)
{
    RECORDER_LOG("RDPlayerRecorder doRecord");
    m_input->setPacketListener(this, &RDPlayerRecorder::tap);
    int status = 1;
    while (!thread->isStopped()) {
        RDBasePlayerInputPacket *item = nullptr;
        if (m_queue->pop(&item) < 0) {
            m_queue->waitForItem(kWaitMs);
            continue;
        }
        int result = 0;
        if (!m_outputContext) {
            if (item->mediaType() != RDBasePlayerInputPacket::Video || !(item->packet()->flags & AV_PKT_FLAG_KEY)) {
                RECORDER_LOG("drop non key frame");
                delete item;
                continue;
            }
            RECORDER_LOG("init record packet.flags = %d, packet.index = %d", item->packet()->flags,
                         item->packet()->stream_index);
            if (initRecord(item) < 0) {
                delete item;
                status = 2;
                break;
            }
            report(0, 0.0, 0.0);
        }
        result = writePacket(item);
        delete item;
        if (result < 0) {
            RECORDER_LOG("write packet failed = %d break", result);
            report(2, 0.0, 0.0);
            break;
        }
    }
    m_input->setPacketListener(nullptr, nullptr);
    finish();
    if (status == 2)
        report(2, 0.0, 0.0);
    else
        report(1, 0.0, 0.0);
}
