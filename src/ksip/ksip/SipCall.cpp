#include "SipCall.h"

#include "RDLog.h"
#include "RDThread.h"
#include "SipAudioDecoder.h"
#include "SipAudioEncoder.h"
#include "SipChannel.h"
#include "SipRtpSession.h"
#include "SipStreamDevice.h"
#include "SipStreamFrame.h"
#include "SipString.h"


#define SIPCALL_LOG(...) RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {

// The payload of `remote` that decides the choice: the first named remote
// entry that `local` has with the same name, clock rate and channels.
void choose(const SipPayloadList *local, const SipPayloadList *remote, SipPayload **localOut,
            SipPayload **remoteOut)
{
    *localOut = nullptr;
    *remoteOut = nullptr;
    if (!local || !remote) {
        return;
    }
    for (SipPayload *r : *remote) {
        if (SipString::isEmpty(r->name())) {
            continue;
        }
        SipPayload *l = local->find([r](SipPayload *p) {
            return SipString::caseEqual(p->name(), r->name()) && p->clockRate() == r->clockRate()
                && p->channels() == r->channels();
        });
        if (l) {
            *localOut = l;
            *remoteOut = r;
            return;
        }
    }
}

} // namespace

SipCall::SipCall(SipChannel *channel) : m_channel(channel) {}

SipCall::~SipCall()
{
    stop();
    delete m_localAudio;
    delete m_localVideo;
    delete m_remoteAudio;
    delete m_remoteVideo;
    delete m_receiveAudio;
    SipString::clear(&m_remoteNumber);
    SipString::clear(&m_remoteDisplayName);
    SipString::clear(&m_registrarHost);
    SipString::clear(&m_remoteAudioAddress);
    SipString::clear(&m_remoteVideoAddress);
    SipString::clear(&m_bindAddress);
}

int SipCall::start()
{
    if (m_invalid) {
        // An ended call must not look started to its channel.
        SIPCALL_LOG("call is invalid");
        return -1;
    }
    m_callLock.lock();
    SIPCALL_LOG("start sip call rtp stream");
    if (m_audioSession || m_videoSession) {
        m_callLock.unlock();
        return 0;
    }
    bool started = false;
    choose(m_localAudio, m_remoteAudio, &m_localAudioPayload, &m_remoteAudioPayload);
    choose(m_localVideo, m_remoteVideo, &m_localVideoPayload, &m_remoteVideoPayload);

    if (SipPayload::isAudio(m_localAudioPayload) && SipPayload::isAudio(m_remoteAudioPayload)) {
        SipPayload *local = m_localAudioPayload;
        SipPayload *remote = m_remoteAudioPayload;
        SIPCALL_LOG("audio format = (%s, %d, %d), (%s, %d, %d), (%d)", local->name(), local->clockRate(),
                    local->channels(), remote->name(), remote->clockRate(), remote->channels(), remote->number());
        m_decoder = SipAudioDecoder::create(*local);
        m_encoder = SipAudioEncoder::create(*remote);
        if (!m_decoder || !m_encoder) {
            releaseCodecs();
            m_callLock.unlock();
            return -1;
        }
        // The receive thread keeps its own copy of what this side offered,
        // so that it never reads a list the signalling side replaces.
        delete m_receiveAudio;
        m_receiveAudio = new SipPayloadList;
        for (SipPayload *p : *m_localAudio) {
            m_receiveAudio->append(new SipPayload(*p));
        }
        m_deviceLock.lock();
        m_sinkPayload = SipPayload::findByNumber(m_receiveAudio, local->number());
        m_deviceLock.unlock();

        m_audioSession = new SipRtpSession;
        m_audioSession->setObserver(this);
        m_audioSession->setReceiveTimeout(m_receiveTimeoutMs);
        m_audioSession->setBindAddress(m_bindAddress);
        if (m_audioSession->start(m_remoteAudioAddress, m_localAudioPort, m_remoteAudioPort, *local,
                                  local->ptime() > 0 ? local->ptime() : 20)
            == 0) {
            started = true;
        } else {
            delete m_audioSession;
            m_audioSession = nullptr;
        }
    }

    if (SipPayload::isVideo(m_localVideoPayload) && SipPayload::isVideo(m_remoteVideoPayload)) {
        SipPayload *local = m_localVideoPayload;
        SipPayload *remote = m_remoteVideoPayload;
        SIPCALL_LOG("video format = (%s, %d), (%s, %d), (%d)", local->name(), local->clockRate(), remote->name(),
                    remote->clockRate(), remote->number());
        m_videoSession = new SipRtpSession;
        m_videoSession->setObserver(this);
        m_videoSession->setReceiveTimeout(m_receiveTimeoutMs);
        m_videoSession->setBindAddress(m_bindAddress);
        m_videoSession->start(m_remoteVideoAddress, m_localVideoPort, m_remoteVideoPort, *local,
                              local->ptime() > 0 ? local->ptime() : 40);
        started = true;
    }
    m_callLock.unlock();
    if (started) {
        m_startTime = currentSeconds();
        return 0;
    }
    return -1;
}

void SipCall::stop()
{
    m_callLock.lock();
    if (m_audioSession || m_videoSession) {
        SIPCALL_LOG("stop sip call rtp stream");
    }
    stopSessions();
    releaseCodecs();
    m_localAudioPayload = nullptr;
    m_localVideoPayload = nullptr;
    m_remoteAudioPayload = nullptr;
    m_remoteVideoPayload = nullptr;
    m_callLock.unlock();

    m_deviceLock.lock();
    if (m_device) {
        m_device->stop();
        m_device = nullptr;
    }
    m_sinkPayload = nullptr;
    m_deviceLock.unlock();
}

void SipCall::stopSessions()
{
    for (SipRtpSession **session : {&m_audioSession, &m_videoSession}) {
        if (*session) {
            (*session)->stop();
            delete *session;
            *session = nullptr;
        }
    }
}

void SipCall::releaseCodecs()
{
    if (m_decoder) {
        m_decoder->release();
        delete m_decoder;
        m_decoder = nullptr;
    }
    if (m_encoder) {
        m_encoder->release();
        delete m_encoder;
        m_encoder = nullptr;
    }
}

void SipCall::setDevice(SipStreamDevice *device)
{
    m_callLock.lock();
    m_deviceLock.lock();
    if (m_device) {
        m_device->stop();
    }
    m_device = device;
    if (device) {
        device->setVolume(m_volume);
        if (SipPayload::isAudio(m_localAudioPayload) && SipPayload::isAudio(m_remoteAudioPayload)) {
            device->openAudioSource(*m_localAudioPayload);
            device->openAudioSink(m_sinkPayload ? *m_sinkPayload : *m_remoteAudioPayload);
        }
        if (SipPayload::isVideo(m_localVideoPayload) && SipPayload::isVideo(m_remoteVideoPayload)) {
            device->openVideoSource(*m_localVideoPayload);
            device->openVideoSink(*m_remoteVideoPayload);
        }
    }
    m_deviceLock.unlock();
    m_callLock.unlock();
}

void SipCall::setVolume(int volume)
{
    m_volume = volume;
    m_callLock.lock();
    m_deviceLock.lock();
    if (m_device) {
        m_device->setVolume(volume);
    }
    m_deviceLock.unlock();
    m_callLock.unlock();
}

void SipCall::setLocalPayloads(SipPayloadList *audio, SipPayloadList *video)
{
    m_callLock.lock();
    if (audio != m_localAudio) {
        delete m_localAudio;
        m_localAudio = audio;
        m_localAudioPayload = nullptr;
    }
    if (video != m_localVideo) {
        delete m_localVideo;
        m_localVideo = video;
        m_localVideoPayload = nullptr;
    }
    m_callLock.unlock();
}

void SipCall::setRemotePayloads(SipPayloadList *audio, SipPayloadList *video)
{
    m_callLock.lock();
    if (audio != m_remoteAudio) {
        delete m_remoteAudio;
        m_remoteAudio = audio;
        m_remoteAudioPayload = nullptr;
    }
    if (video != m_remoteVideo) {
        delete m_remoteVideo;
        m_remoteVideo = video;
        m_remoteVideoPayload = nullptr;
    }
    m_callLock.unlock();
}

void SipCall::setRemoteAddress(const char *audioAddress, int audioPort, const char *videoAddress, int videoPort)
{
    m_callLock.lock();
    SipString::assign(&m_remoteAudioAddress, audioAddress);
    m_remoteAudioPort = audioPort;
    SipString::assign(&m_remoteVideoAddress, videoAddress);
    m_remoteVideoPort = videoPort;
    m_callLock.unlock();
}

void SipCall::setLocalPorts(int32_t audioPort, int32_t videoPort)
{
    m_callLock.lock();
    m_localAudioPort = audioPort;
    m_localVideoPort = videoPort;
    m_callLock.unlock();
}

void SipCall::setBindAddress(const char *ip)
{
    m_callLock.lock();
    SipString::assign(&m_bindAddress, ip);
    m_callLock.unlock();
}

void SipCall::setRemoteNumber(const char *number)
{
    SipString::assign(&m_remoteNumber, number);
}

void SipCall::setRemoteDisplayName(const char *name)
{
    SipString::assign(&m_remoteDisplayName, name);
}

void SipCall::setRegistrarHost(const char *host)
{
    SipString::assign(&m_registrarHost, host);
}

int SipCall::answer(SipPayloadList *audio, SipPayloadList *video)
{
    SIPCALL_LOG("SipCall answer");
    if (m_channel) {
        return m_channel->answerCall(this, audio, video);
    }
    delete audio;
    delete video;
    return -1;
}

int SipCall::ring()
{
    SIPCALL_LOG("SipCall ring");
    if (m_channel) {
        m_channel->ringCall(this);
        return 0;
    }
    return -1;
}

bool SipCall::isStarted() const
{
    m_callLock.lock();
    const bool started = m_audioSession || m_videoSession;
    m_callLock.unlock();
    return started;
}

double SipCall::onRtpSend(SipRtpSession *session)
{
    if (session == m_audioSession) {
        return sendAudio(session);
    }
    if (session == m_videoSession) {
        return sendVideo(session);
    }
    return 0.0;
}

double SipCall::sendAudio(SipRtpSession *session)
{
    SipStreamFrame *frame = nullptr;
    bool finished = false;
    m_deviceLock.lock();
    // Until a device is attached there is nothing to send.
    if (m_device) {
        frame = m_device->readAudio(20);
        if (!frame) {
            finished = m_device->isSourceFinished();
        }
    }
    m_deviceLock.unlock();
    if (!frame) {
        if (finished) {
            m_invalid = true;
        }
        return 0.0;
    }
    const double duration = frame->duration();
    if (frame->isEncoded()) {
        session->send(frame->data(), frame->size(), duration);
    } else if (m_encoder) {
        uint8_t out[kCodecBufferSize];
        const int n = m_encoder->encode(reinterpret_cast<const int16_t *>(frame->data()), frame->size(), out,
                                        sizeof(out));
        if (n > 0) {
            session->send(out, n, duration);
        }
    }
    delete frame;
    return duration;
}

double SipCall::sendVideo(SipRtpSession *session)
{
    m_deviceLock.lock();
    SipStreamFrame *frame = m_device ? m_device->readVideo(40) : nullptr;
    m_deviceLock.unlock();
    if (!frame) {
        return 0.0;
    }
    double result = 0.0;
    if (frame->size() > 4) {
        // Without the Annex B start code.
        session->send(frame->data() + 4, frame->size() - 4, 0.025);
        const int type = frame->data()[4] & 0x1F;
        if (type == 1 || type == 5) {
            result = frame->duration();
        }
    }
    delete frame;
    return result;
}

void SipCall::onRtpPacket(SipRtpSession *session, const RtpPacket &packet, const uint8_t *payload, int length,
                          uint32_t timestamp)
{
    if (session == m_audioSession) {
        receiveAudio(packet, payload, length, timestamp);
    } else if (session == m_videoSession) {
        receiveVideo(packet, payload, length, timestamp);
    }
}

void SipCall::receiveAudio(const RtpPacket &packet, const uint8_t *payload, int length, uint32_t timestamp)
{
    const int type = packet.payloadType();
    if (!m_decoder || m_decoder->payload().number() != type) {
        // Only a payload this side offered may replace the working decoder;
        // telephone events, comfort noise and unknown types are dropped.
        SipPayload *known = SipPayload::findByNumber(m_receiveAudio, type);
        if (!SipPayload::isAudio(known)) {
            return;
        }
        SIPCALL_LOG("resetAudioPayload payload = %d", type);
        SipAudioDecoder *decoder = SipAudioDecoder::create(*known);
        if (!decoder) {
            return;
        }
        if (m_decoder) {
            m_decoder->release();
            delete m_decoder;
        }
        m_decoder = decoder;
        m_deviceLock.lock();
        m_sinkPayload = known;
        if (m_device) {
            m_device->closeAudioSink();
            m_device->openAudioSink(*known);
        }
        m_deviceLock.unlock();
    }
    int16_t pcm[kCodecBufferSize / 2];
    const int n = m_decoder->decode(payload, length, pcm, kCodecBufferSize);
    if (n <= 0) {
        return;
    }
    m_deviceLock.lock();
    // Audio that arrives before a device is attached is dropped.
    if (m_device) {
        m_device->writeAudio(pcm, n, timestamp);
    }
    m_deviceLock.unlock();
}

void SipCall::receiveVideo(const RtpPacket &packet, const uint8_t *payload, int length, uint32_t timestamp)
{
    const int type = packet.payloadType();
    if (!m_remoteVideoPayload || m_remoteVideoPayload->number() != type) {
        SipPayload *known = SipPayload::findByNumber(m_localVideo, type);
        if (!SipPayload::isVideo(known)) {
            return;
        }
        m_remoteVideoPayload = known;
        m_deviceLock.lock();
        if (m_device) {
            m_device->closeVideoSink();
            m_device->openVideoSink(*known);
        }
        m_deviceLock.unlock();
    }
    m_deviceLock.lock();
    if (m_device) {
        m_device->writeVideo(payload, length, timestamp);
    }
    m_deviceLock.unlock();
}

void SipCall::onRtpTimeout(SipRtpSession *session)
{
    if (session == m_audioSession || (session == m_videoSession && !m_audioSession)) {
        m_invalid = true;
    }
}
