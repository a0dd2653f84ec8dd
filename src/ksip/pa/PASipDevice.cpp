#include "PASipDevice.h"

#include "KelClient.h"
#include "PASipAudioDeviceReader.h"
#include "PASipAudioDeviceWriter.h"
#include "PASipClientReader.h"
#include "PASipListenForwarder.h"
#include "PASipManager.h"
#include "PASipStreamReader.h"
#include "RDAudioTranscoder.h"
#include "RDCoreDevice.h"
#include "RDHttpStreamServer.h"
#include "RDLog.h"
#include "SipStreamFrame.h"

extern "C" {
#include <libavcodec/avcodec.h>
}

#include <QMutexLocker>

#define PADEVICE_LOG(...) RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, __VA_ARGS__)

PASipDevice::PASipDevice() = default;

PASipDevice::~PASipDevice()
{
    closeAudioSource();
    closeAudioSink();
}

void PASipDevice::setSoundSource(const QString &endpointId, int type)
{
    m_soundId = endpointId;
    m_soundType = type;
}

int PASipDevice::openAudioSource(const SipPayload &payload)
{
    m_sendFormat = PASipAudioFormat::forPayload(payload);
    QMutexLocker lock(&m_sendLock);
    if (m_sourceUrl.isEmpty() && m_soundId.isEmpty() && !m_talkSession) {
        m_sourceActive = false;
        return 0;
    }
    m_sourceActive = true;
    bool started = false;
    if (!m_sourceUrl.isEmpty() && !m_streamReader) {
        m_streamReader = new PASipStreamReader(m_sourceUrl, m_sendFormat);
        m_streamReader->start();
        started = true;
    }
    if (!m_soundId.isEmpty() && !m_cardReader) {
        startCardReaderLocked();
        started = started || m_cardReader;
    }
    if (m_talkSession && !m_clientReader) {
        m_clientReader = new PASipClientReader(m_talkSession, m_sendFormat);
        m_clientReader->start();
        started = true;
    }
    return started ? 0 : -1;
}

void PASipDevice::closeAudioSource()
{
    QMutexLocker lock(&m_sendLock);
    stopTalkLocked();
    stopCardReaderLocked();
    delete m_streamReader; // stops and waits
    m_streamReader = nullptr;
}

void PASipDevice::startCardReaderLocked()
{
    stopCardReaderLocked();
    if (m_soundId.isEmpty() || !m_sendFormat.isValid())
        return;
    m_cardReader = new PASipAudioDeviceReader(m_soundId.toUtf8(), m_soundType, m_sendFormat);
    if (!m_cardReader->start()) {
        PADEVICE_LOG("sound device %s cannot start\n", qUtf8Printable(m_soundId));
        stopCardReaderLocked();
    }
}

void PASipDevice::stopCardReaderLocked()
{
    delete m_cardReader; // stops its threads
    m_cardReader = nullptr;
}

void PASipDevice::stopTalkLocked()
{
    delete m_clientReader; // stops and waits
    m_clientReader = nullptr;
}

int PASipDevice::openAudioSink(const SipPayload &payload)
{
    m_receiveFormat = PASipAudioFormat::forPayload(payload);
    QMutexLocker lock(&m_receiveLock);
    if (m_playReceived && !m_cardWriter) {
        m_cardWriter = new PASipAudioDeviceWriter(m_receiveFormat);
        m_cardWriter->start();
    }
    if (m_listenSession)
        startListenLocked();
    if (!m_publishPath.isEmpty()) {
        m_httpServer = PASipManager::httpStreamServer();
        if (m_httpServer) {
            m_httpStream = new RDHttpAudioStream;
            m_httpStream->path = "/stream/" + m_publishPath.toStdString();
            m_httpStream->name = m_publishPath.toStdString();
            m_httpStream->contentType = "audio/mp3";
            m_httpStream->bitrate = 64000;
            m_httpStream->sampleRate = 44100;
            m_httpStream->metaInterval = 1024;
            if (!m_httpServer->addStream(*m_httpStream)) {
                delete m_httpStream;
                m_httpStream = nullptr;
            }
        }
    }
    if (m_httpStream) {
        AVCodecParameters *dst = PASipAudioFormat::codecParameters(AV_CODEC_ID_MP3, 44100, 2, AV_SAMPLE_FMT_FLTP);
        if (dst) {
            dst->bit_rate = 128000;
            dst->frame_size = 1152; // the encoder takes whole MP3 frames only
        }
        m_mp3 = PASipAudioFormat::openTranscoder(m_receiveFormat.parameters(), dst);
        if (!m_mp3)
            PADEVICE_LOG("mp3 encoder cannot open, %s is not published\n", m_httpStream->path.c_str());
    }
    return 0;
}

void PASipDevice::closeAudioSink()
{
    QMutexLocker lock(&m_receiveLock);
    PASipAudioFormat::close(m_mp3);
    if (m_httpStream) {
        if (m_httpServer)
            m_httpServer->removeStream(*m_httpStream);
        delete m_httpStream;
        m_httpStream = nullptr;
    }
    m_httpServer.reset();
    delete m_cardWriter; // stops the render thread
    m_cardWriter = nullptr;
    closeListenLocked();
}

SipStreamFrame *PASipDevice::silence(int milliseconds) const
{
    const PASipAudioFormat f = m_sendFormat.isValid() ? m_sendFormat : PASipAudioFormat(8000, 1);
    const int bytes = f.bytesFor(milliseconds);
    uint8_t *data = new uint8_t[size_t(bytes > 0 ? bytes : 1)]();
    return SipStreamFrame::adopt(data, bytes, milliseconds / 1000.0);
}

SipStreamFrame *PASipDevice::readAudio(int milliseconds)
{
    QMutexLocker lock(&m_sendLock);
    if (!m_clientReader && !m_cardReader && !m_streamReader && !m_sourceActive)
        return silence(milliseconds);
    SipStreamFrame *url = m_streamReader ? m_streamReader->pop() : nullptr;
    if (SipStreamFrame *card = m_cardReader ? m_cardReader->pop() : nullptr) {
        delete url;
        url = card;
    }
    if (m_clientReader) {
        SipStreamFrame *talk = m_clientReader->pop();
        if (talk) {
            delete url;
            return talk; // talk is sent as spoken, not scaled
        }
        if (!m_clientReader->isFinished() || m_clientReader->hasFrames()) {
            // A gap in the talk is silence, never a frame of the other
            // sources between two talk frames.
            delete url;
            return silence(milliseconds);
        }
        stopTalkLocked();
    }
    if (url)
        applyVolume(reinterpret_cast<int16_t *>(url->data()), url->size() / 2, m_volume);
    return url;
}

int PASipDevice::writeAudio(const int16_t *pcm, int bytes, uint32_t)
{
    QMutexLocker lock(&m_receiveLock);
    if (m_cardWriter)
        m_cardWriter->write(pcm, bytes);
    if (m_forwarder)
        m_forwarder->write(pcm, bytes);
    if (m_mp3 && m_httpServer && m_httpStream) {
        PASipAudioFormat::push(*m_mp3, reinterpret_cast<const uint8_t *>(pcm), bytes);
        while (AVPacket *packet = m_mp3->popPacket()) {
            if (packet->size > 0)
                m_httpServer->writeStream(*m_httpStream, reinterpret_cast<const char *>(packet->data), packet->size);
            av_packet_free(&packet);
        }
    }
    return bytes;
}

bool PASipDevice::isSourceFinished()
{
    if (!m_sourceActive)
        return false;
    QMutexLocker lock(&m_sendLock);
    if (m_clientReader && !(m_clientReader->isFinished() && !m_clientReader->hasFrames()))
        return false;
    if (m_cardReader && !m_cardReader->isStopped())
        return false;
    if (m_streamReader && !m_streamReader->isFinished())
        return false;
    return true;
}

void PASipDevice::startTalk(const std::shared_ptr<KelClient> &session)
{
    QMutexLocker lock(&m_sendLock);
    m_talkSession = session;
    stopTalkLocked();
    if (!session)
        return;
    m_clientReader = new PASipClientReader(session, m_sendFormat);
    m_clientReader->start();
}

void PASipDevice::stopTalk()
{
    QMutexLocker lock(&m_sendLock);
    stopTalkLocked();
}

bool PASipDevice::hasTalkReader()
{
    QMutexLocker lock(&m_sendLock);
    return m_clientReader != nullptr;
}

void PASipDevice::startListenLocked()
{
    closeListenLocked();
    if (!m_listenSession || !m_receiveFormat.isValid())
        return;
    m_forwarder = new PASipListenForwarder(m_listenSession, m_receiveFormat);
    if (!m_forwarder->open()) {
        PADEVICE_LOG("listen forwarder cannot open\n");
        delete m_forwarder;
        m_forwarder = nullptr;
    }
}

void PASipDevice::closeListenLocked()
{
    delete m_forwarder;
    m_forwarder = nullptr;
}

void PASipDevice::startListen(const std::shared_ptr<KelClient> &session)
{
    QMutexLocker lock(&m_receiveLock);
    m_listenSession = session;
    startListenLocked();
}

void PASipDevice::stopListen()
{
    QMutexLocker lock(&m_receiveLock);
    closeListenLocked();
    m_listenSession.reset(); // a sink opened again later does not resume it
}

void PASipDevice::setCaptureDevice(const RDCoreDevice &device)
{
    QMutexLocker lock(&m_sendLock);
    m_soundId = device.id();
    m_soundType = device.type();
    startCardReaderLocked();
}

bool PASipDevice::isPublishing()
{
    QMutexLocker lock(&m_receiveLock);
    return m_httpStream != nullptr && m_mp3 != nullptr;
}

QString PASipDevice::publishedPath() const
{
    return QStringLiteral("/stream/") + m_publishPath;
}

bool PASipDevice::hasCardReader()
{
    QMutexLocker lock(&m_sendLock);
    return m_cardReader != nullptr;
}

bool PASipDevice::hasStreamReader()
{
    QMutexLocker lock(&m_sendLock);
    return m_streamReader != nullptr;
}
