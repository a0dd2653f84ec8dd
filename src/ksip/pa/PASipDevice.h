#pragma once

#include "PASipAudioFormat.h"
#include "RDHttpAudioStream.h"
#include "SipStreamDevice.h"

#include <QMutex>
#include <QString>

#include <atomic>
#include <memory>

class KelClient;
class PASipAudioDeviceReader;
class PASipAudioDeviceWriter;
class PASipClientReader;
class PASipListenForwarder;
class PASipStreamReader;
class RDAudioTranscoder;
class RDHttpStreamServer;

// The media end of every call of the program's SIP agent. The send side
// plays a zone's source into the call: a stream URL, a PC sound endpoint, or
// the audio an app session talks (which replaces the others while it lasts);
// with no source it sends silence. The receive side plays the call's audio on
// the PC, forwards it to a listening app session and publishes it as MP3 on
// the HTTP live stream "/stream/<path>".
//
// The send-side lock guards the readers, the receive-side lock the
// forwarder and the HTTP objects; no operation takes both.
class PASipDevice : public SipStreamDevice
{
public:
    PASipDevice();
    ~PASipDevice() override;

    // Set before the call's media opens.
    void setPlayReceived(bool play) { m_playReceived = play; }
    void setSourceUrl(const QString &url) { m_sourceUrl = url; }
    void setSoundSource(const QString &endpointId, int type);
    void setTalkSession(const std::shared_ptr<KelClient> &session) { m_talkSession = session; }
    void setPublishPath(const QString &path) { m_publishPath = path; }

    int openAudioSource(const SipPayload &payload) override;
    void closeAudioSource() override;
    int openAudioSink(const SipPayload &payload) override;
    void closeAudioSink() override;
    SipStreamFrame *readAudio(int milliseconds) override;
    int writeAudio(const int16_t *pcm, int bytes, uint32_t timestamp) override;
    bool isSourceFinished() override;

    // Talk replaces the other sources at once and until it ends.
    void startTalk(const std::shared_ptr<KelClient> &session);
    void stopTalk();
    bool hasTalkReader();
    void startListen(const std::shared_ptr<KelClient> &session);
    void stopListen();
    // Switches the sound-card source while the call runs.
    void setCaptureDevice(const class RDCoreDevice &device);

    // For supervision and tests.
    bool isPublishing();
    QString publishedPath() const;
    bool hasStreamReader();
    bool hasCardReader();

private:
    void stopTalkLocked();
    void startCardReaderLocked();
    void stopCardReaderLocked();
    void startListenLocked();
    void closeListenLocked();
    SipStreamFrame *silence(int milliseconds) const;

    std::atomic<bool> m_sourceActive{false};
    bool m_playReceived = false;
    QString m_sourceUrl;
    QString m_soundId;
    int m_soundType = 0;
    std::shared_ptr<KelClient> m_talkSession;
    std::shared_ptr<KelClient> m_listenSession;
    QString m_publishPath;
    PASipAudioFormat m_sendFormat;
    PASipAudioFormat m_receiveFormat;

    QMutex m_sendLock;
    PASipStreamReader *m_streamReader = nullptr;
    PASipAudioDeviceReader *m_cardReader = nullptr;
    PASipClientReader *m_clientReader = nullptr;

    QMutex m_receiveLock;
    PASipAudioDeviceWriter *m_cardWriter = nullptr;
    PASipListenForwarder *m_forwarder = nullptr;
    std::shared_ptr<RDHttpStreamServer> m_httpServer;
    RDHttpAudioStream *m_httpStream = nullptr;
    RDAudioTranscoder *m_mp3 = nullptr;
};
