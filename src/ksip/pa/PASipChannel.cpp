#include "PASipChannel.h"

#include "KelClient.h"
#include "PASipCall.h"
#include "SipChannelObserver.h"
#include "SipManager.h"
#include "SipString.h"

PASipChannel::PASipChannel(SipManager *manager, SipStack *stack)
    : SipChannel(manager, stack)
{
}

PASipChannel::~PASipChannel() = default;

SipCall *PASipChannel::createCall()
{
    PASipCall *call = new PASipCall(this);
    call->setSourceUrl(m_sourceUrl);
    call->setSoundSource(m_soundSource);
    call->setTalkSession(m_talkSession);
    call->setPublishPath(m_publishPath);
    call->setPlayReceived(false);
    return call;
}

PASipCall *PASipChannel::findCall(const char *number)
{
    if (SipString::isEmpty(number))
        return nullptr;
    for (SipCall *call : calls()) {
        if (SipString::caseEqual(call->remoteNumber(), number))
            return dynamic_cast<PASipCall *>(call);
    }
    return nullptr;
}

bool PASipChannel::call(const char *number, const RDCoreDevice &captureDevice, bool playReceived)
{
    PASipCall *call = new PASipCall(this);
    call->setVolume(volume());
    call->setRemoteNumber(number);
    call->setRegistrarHost(host());
    call->setBindAddress(manager()->bindAddress());
    const int audioPort = nextRtpPort();
    const int videoPort = audioPort > 0 ? nextRtpPort() : -1;
    call->setLocalPorts(audioPort, videoPort);
    if (observer())
        observer()->onCallCreated(this, call);
    call->setSoundSource(captureDevice);
    call->setPlayReceived(playReceived);
    if (audioPort <= 0 || videoPort <= 0) {
        delete call;
        return false;
    }
    appendCallLocked(call);
    if (invite(call, SipPayload::supportedPayloads(nullptr), nullptr) <= 0)
        call->setInvalid(true);
    return true;
}
