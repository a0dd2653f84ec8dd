#include "PASipAudioDeviceReader.h"

#include "CoreAudioDevice.h"
#include "RDAudioTranscoder.h"
#include "RDLog.h"
#include "SipStreamFrame.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/samplefmt.h>
}

#define CARDREAD_LOG(...) RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {
AVCodecID pcmCodec(int sampleFormat)
{
    switch (sampleFormat) {
    case AV_SAMPLE_FMT_U8:
        return AV_CODEC_ID_PCM_U8;
    case AV_SAMPLE_FMT_S16:
        return AV_CODEC_ID_PCM_S16LE;
    case AV_SAMPLE_FMT_S32:
        return AV_CODEC_ID_PCM_S32LE;
    case AV_SAMPLE_FMT_S64:
        return AV_CODEC_ID_PCM_S64LE;
    case AV_SAMPLE_FMT_FLT:
        return AV_CODEC_ID_PCM_F32LE;
    case AV_SAMPLE_FMT_DBL:
        return AV_CODEC_ID_PCM_F64LE;
    default:
        return AV_CODEC_ID_NONE;
    }
}
}

PASipAudioDeviceReader::PASipAudioDeviceReader(const QByteArray &endpointId, int loopback,
                                               const PASipAudioFormat &target)
    : m_endpointId(endpointId)
    , m_loopback(loopback)
    , m_target(target)
{
}

PASipAudioDeviceReader::~PASipAudioDeviceReader()
{
    stop();
    PASipAudioFormat::close(m_transcoder);
}

int PASipAudioDeviceReader::sampleFormat(int formatTag, int bitsPerSample)
{
    if (formatTag == 1) {
        switch (bitsPerSample) {
        case 8:
            return AV_SAMPLE_FMT_U8;
        case 16:
            return AV_SAMPLE_FMT_S16;
        case 32:
            return AV_SAMPLE_FMT_S32;
        case 64:
            return AV_SAMPLE_FMT_S64;
        }
    } else if (formatTag == 3) {
        if (bitsPerSample == 32)
            return AV_SAMPLE_FMT_FLT;
        if (bitsPerSample == 64)
            return AV_SAMPLE_FMT_DBL;
    }
    return -1;
}

bool PASipAudioDeviceReader::start()
{
    if (m_endpointId.isEmpty()) {
        m_stopped = true;
        return false;
    }
    m_device = std::make_unique<CoreAudioDevice>();
    m_device->setDevice(m_endpointId.constData(), m_loopback);
    m_device->setObserver(this);
    return m_device->start();
}

void PASipAudioDeviceReader::stop()
{
    if (m_device)
        m_device->stop(); // joins its threads: no callback runs afterwards
    m_stopped = true;
}

SipStreamFrame *PASipAudioDeviceReader::pop()
{
    return m_queue.pop();
}

void PASipAudioDeviceReader::onDeviceOpened(CoreAudioDevice *device)
{
    const RDAudioFormat *f = device->format();
    const int format = sampleFormat(f->formatTag, f->bitsPerSample);
    PASipAudioFormat::close(m_transcoder);
    m_carry.clear();
    if (format >= 0 && f->sampleRate > 0 && f->channels > 0)
        m_transcoder = PASipAudioFormat::openTranscoder(
            PASipAudioFormat::codecParameters(pcmCodec(format), f->sampleRate, f->channels < 2 ? 1 : 2, format),
            m_target.parameters());
    const bool ok = m_transcoder != nullptr;
    if (!ok)
        CARDREAD_LOG("sound device %s format (tag %d, %d bit) not taken\n", m_endpointId.constData(), f->formatTag,
                     f->bitsPerSample);
}

void PASipAudioDeviceReader::onDeviceClosed(CoreAudioDevice *)
{
    if (!m_stopped.exchange(true))
        CARDREAD_LOG("sound device %s closed, its capture ends\n", m_endpointId.constData());
}

void PASipAudioDeviceReader::onDeviceData(CoreAudioDevice *, unsigned char *data, int, int bytes)
{
    if (!m_transcoder)
        return;
    PASipAudioFormat::push(*m_transcoder, data, bytes);
    m_target.drain(*m_transcoder, m_carry, m_queue);
    while (m_queue.count() > kMaxQueuedFrames)
        delete m_queue.pop();
}
