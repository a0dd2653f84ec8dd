#pragma once

#include "RDCoreDevice.h"
#include "SipCall.h"

#include <QString>

#include <functional>
#include <memory>
#include <mutex>

class KelClient;
class PASipDevice;

// A call of a PASipChannel: the source values copied from its channel when
// the call was made, and the PASipDevice that feeds it while it runs.
class PASipCall : public SipCall
{
public:
    explicit PASipCall(SipChannel *channel = nullptr);
    ~PASipCall() override;

    bool playReceived() const { return m_playReceived; }
    void setPlayReceived(bool play) { m_playReceived = play; }
    QString sourceUrl() const { return m_sourceUrl; }
    void setSourceUrl(const QString &url) { m_sourceUrl = url; }
    RDCoreDevice soundSource() const { return m_soundSource; }
    void setSoundSource(const RDCoreDevice &device) { m_soundSource = device; }
    std::shared_ptr<KelClient> talkSession() const { return m_talkSession; }
    void setTalkSession(const std::shared_ptr<KelClient> &session) { m_talkSession = session; }
    QString publishPath() const { return m_publishPath; }
    void setPublishPath(const QString &path) { m_publishPath = path; }

    // Switches the running call's sound source (the stored one when the
    // call has not started).
    void setCaptureDevice(const RDCoreDevice &device);

    // The device while the call runs. attach/detach run on the event
    // thread; withDevice runs `fn` with the device under the call's device
    // guard, so that the device cannot be deleted meanwhile. False when
    // the call has no device.
    void attachDevice(PASipDevice *device);
    PASipDevice *detachDevice();
    bool withDevice(const std::function<void(PASipDevice *)> &fn);

private:
    bool m_playReceived = false;
    QString m_sourceUrl;
    RDCoreDevice m_soundSource;
    std::shared_ptr<KelClient> m_talkSession;
    QString m_publishPath;
    std::mutex m_paDeviceLock;
    PASipDevice *m_paDevice = nullptr;
};
