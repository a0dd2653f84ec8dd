#pragma once

#include "RDThreadLocker.h"
#include "SipPayload.h"
#include "SipRtspSessionObserver.h"

#include <atomic>
#include <cstdint>

class SipAudioDecoder;
class SipAudioEncoder;
class SipChannel;
class SipRtpSession;
class SipStreamDevice;

// One call of an account: its SIP identifiers, the offered and negotiated
// payloads, one RTP session for audio and one for video, the codec pair and
// the media device that supplies the audio to send and takes the audio
// received.
//
// Locks: the call lock guards payloads, sessions and codecs; the device
// lock guards the device pointer and every call into the device. setDevice
// takes the call lock and then the device lock; the RTP threads take only
// the device lock.
class SipCall : public SipRtspSessionObserver
{
public:
    explicit SipCall(SipChannel *channel = nullptr);
    ~SipCall() override;

    // Negotiates, makes the codecs and starts the RTP sessions. 0 when
    // started; -1 when the call is invalid, nothing matches, a codec cannot
    // be made or the audio session cannot start.
    virtual int start();
    // Stops the sessions, frees the codecs, stops and detaches the device
    // (which the call does not delete).
    virtual void stop();

    // Stops the previous device, attaches this one with the call's volume
    // and opens its source and sink in the negotiated formats.
    void setDevice(SipStreamDevice *device);
    SipStreamDevice *device() const { return m_device; }
    void setVolume(int volume);
    int volume() const { return m_volume; }

    // The call owns the lists from here; the previous ones are deleted.
    void setLocalPayloads(SipPayloadList *audio, SipPayloadList *video);
    void setRemotePayloads(SipPayloadList *audio, SipPayloadList *video);
    void setRemoteAddress(const char *audioAddress, int audioPort, const char *videoAddress, int videoPort);

    // Have the channel answer (SipChannel::answerCall(this, audio, video):
    // 200 with these lists as this side's offer) or ring
    // (SipChannel::ringCall(this): 180). -1 without a channel.
    int answer(SipPayloadList *audio, SipPayloadList *video);
    int ring();

    // Authenticated resends of this call's INVITE so far.
    int authRetries() const { return m_authRetries; }
    void setAuthRetries(int retries) { m_authRetries = retries; }
    // True the first time only: the channel reports a call removed once,
    // whichever of its paths ends it first.
    bool markRemoved() { return !m_removed.exchange(true); }

    bool isInvalid() const { return m_invalid; }
    void setInvalid(bool invalid) { m_invalid = invalid; }
    // True while an audio or video session exists. Takes the call lock: not
    // for the RTP threads' callbacks.
    bool isStarted() const;

    // SIP identifiers, given by the stack.
    int32_t callId() const { return m_callId; }
    void setCallId(int32_t id) { m_callId = id; }
    int32_t transactionId() const { return m_transactionId; }
    void setTransactionId(int32_t id) { m_transactionId = id; }
    int32_t dialogId() const { return m_dialogId; }
    void setDialogId(int32_t id) { m_dialogId = id; }
    const char *remoteNumber() const { return m_remoteNumber; }
    void setRemoteNumber(const char *number);
    const char *remoteDisplayName() const { return m_remoteDisplayName; }
    void setRemoteDisplayName(const char *name);
    const char *registrarHost() const { return m_registrarHost; }
    void setRegistrarHost(const char *host);
    SipChannel *channel() const { return m_channel; }
    // Seconds of the wall clock when started; 0 before.
    double startTime() const { return m_startTime; }

    int32_t localAudioPort() const { return m_localAudioPort; }
    int32_t localVideoPort() const { return m_localVideoPort; }
    void setLocalPorts(int32_t audioPort, int32_t videoPort);
    int32_t remoteAudioPort() const { return m_remoteAudioPort; }
    int32_t remoteVideoPort() const { return m_remoteVideoPort; }
    const char *remoteAudioAddress() const { return m_remoteAudioAddress; }
    const char *remoteVideoAddress() const { return m_remoteVideoAddress; }
    // Local address the RTP ports are bound on; null or empty (the default)
    // binds every address.
    void setBindAddress(const char *ip);

    SipPayloadList *localAudioPayloads() const { return m_localAudio; }
    SipPayloadList *localVideoPayloads() const { return m_localVideo; }
    SipPayloadList *remoteAudioPayloads() const { return m_remoteAudio; }
    SipPayloadList *remoteVideoPayloads() const { return m_remoteVideo; }
    // The negotiated payloads (pointers into the lists), null before start.
    SipPayload *selectedLocalAudioPayload() const { return m_localAudioPayload; }
    SipPayload *selectedRemoteAudioPayload() const { return m_remoteAudioPayload; }
    SipPayload *selectedLocalVideoPayload() const { return m_localVideoPayload; }
    SipPayload *selectedRemoteVideoPayload() const { return m_remoteVideoPayload; }
    SipRtpSession *audioSession() const { return m_audioSession; }
    SipRtpSession *videoSession() const { return m_videoSession; }

    // Session callbacks (RTP threads).
    double onRtpSend(SipRtpSession *session) override;
    void onRtpPacket(SipRtpSession *session, const RtpPacket &packet, const uint8_t *payload, int length,
                     uint32_t timestamp) override;
    void onRtpTimeout(SipRtpSession *session) override;

    // Receive time-out of the sessions in ms (20000 unless changed).
    void setReceiveTimeout(int ms) { m_receiveTimeoutMs = ms; }

    static constexpr int kCodecBufferSize = 7680;

private:
    SipCall(const SipCall &) = delete;
    SipCall &operator=(const SipCall &) = delete;

    void stopSessions();
    void releaseCodecs();
    double sendAudio(SipRtpSession *session);
    double sendVideo(SipRtpSession *session);
    void receiveAudio(const RtpPacket &packet, const uint8_t *payload, int length, uint32_t timestamp);
    void receiveVideo(const RtpPacket &packet, const uint8_t *payload, int length, uint32_t timestamp);

    int32_t m_callId = 0;
    int32_t m_transactionId = 0;
    int32_t m_dialogId = 0;
    char *m_remoteNumber = nullptr;
    char *m_remoteDisplayName = nullptr;
    char *m_registrarHost = nullptr;
    SipChannel *m_channel;
    double m_startTime = 0.0;
    std::atomic<int> m_volume{100};
    int32_t m_localAudioPort = 0;
    int32_t m_localVideoPort = 0;
    int32_t m_remoteAudioPort = 0;
    int32_t m_remoteVideoPort = 0;
    char *m_remoteAudioAddress = nullptr;
    char *m_remoteVideoAddress = nullptr;
    char *m_bindAddress = nullptr;
    SipPayloadList *m_localAudio = nullptr;
    SipPayloadList *m_localVideo = nullptr;
    SipPayloadList *m_remoteAudio = nullptr;
    SipPayloadList *m_remoteVideo = nullptr;
    std::atomic<bool> m_invalid{false};
    std::atomic<bool> m_removed{false};
    int m_authRetries = 0;
    SipRtpSession *m_audioSession = nullptr;
    SipRtpSession *m_videoSession = nullptr;
    SipAudioDecoder *m_decoder = nullptr;
    SipAudioEncoder *m_encoder = nullptr;
    SipPayload *m_localAudioPayload = nullptr;
    SipPayload *m_localVideoPayload = nullptr;
    SipPayload *m_remoteAudioPayload = nullptr;
    SipPayload *m_remoteVideoPayload = nullptr;
    // Receive side: a copy of the local audio offer and the payload the
    // sink was opened with (guarded by the device lock).
    SipPayloadList *m_receiveAudio = nullptr;
    SipPayload *m_sinkPayload = nullptr;
    mutable RDThreadLocker m_deviceLock;
    SipStreamDevice *m_device = nullptr;
    mutable RDThreadLocker m_callLock;
    int m_receiveTimeoutMs = 20000;
};
