#include "SipChannel.h"

#include "RDLog.h"
#include "SipCall.h"
#include "SipChannelObserver.h"
#include "SipManager.h"
#include "SipMessageFields.h"
#include "SipSdp.h"
#include "SipSessionDescription.h"
#include "SipStack.h"
#include "SipStackEvent.h"
#include "SipString.h"

#include <osipparser2/osip_message.h>
#include <osipparser2/osip_parser.h>
#include <osipparser2/sdp_message.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#define SIPCHANNEL_LOG(...) RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {

const char kSdpType[] = "application/sdp";

bool isChallenge(const SipStackEvent *event)
{
    const int status = SipMessageFields::status(event->response);
    return status == 401 || status == 407;
}

const char *orEmpty(const char *s)
{
    return s ? s : "";
}

// Formats into a fixed buffer; false when the text would not fit.
template <size_t N>
bool format(char (&buffer)[N], const char *fmt, const char *a, const char *b, int port)
{
    const int n = std::snprintf(buffer, N, fmt, orEmpty(a), orEmpty(b), port);
    return n >= 0 && size_t(n) < N;
}

} // namespace

SipChannel::SipChannel(SipManager *manager, SipStack *stack) : m_manager(manager), m_stack(stack) {}

SipChannel::~SipChannel()
{
    lock();
    endAllCalls();
    unlock();
    m_observer = nullptr;
    removeRegistration();
    SipString::clear(&m_host);
    SipString::clear(&m_user);
    SipString::clear(&m_authId);
    SipString::clear(&m_authId2);
    SipString::clear(&m_password);
}

SipCall *SipChannel::createCall()
{
    auto *call = new SipCall(this);
    if (m_manager) {
        call->setReceiveTimeout(m_manager->rtpTimeoutMs());
    }
    return call;
}

void SipChannel::lock()
{
    m_lock.lock();
}

void SipChannel::unlock()
{
    m_lock.unlock();
}

int SipChannel::nextRtpPort()
{
    return m_manager ? m_manager->nextRtpPort() : -1;
}

// ---- registration -------------------------------------------------------

int SipChannel::registerAccount(const char *host, int port, const char *user, const char *authId,
                                const char *authId2, const char *password, const char *contact, int expires)
{
    SipString::assign(&m_host, host);
    SipString::assign(&m_user, user);
    SipString::assign(&m_authId, authId);
    SipString::assign(&m_authId2, authId2);
    SipString::assign(&m_password, password);
    m_port = port;
    if (SipString::isEmpty(m_host) || !m_stack) {
        return 0;
    }

    char registrar[256];
    char from[300];
    char ownContact[300];
    std::snprintf(registrar, sizeof(registrar), "sip:%s:%d", m_host, m_port);
    format(from, "sip:%s@%s:%d", m_user, m_host, m_port);
    if (!contact) {
        format(ownContact, "sip:%s@%s:%d", m_user, m_manager->localIp(), m_manager->listenPort());
        contact = ownContact;
    }

    m_retries = 0;
    m_expires = expires;
    m_grantedExpires = 0;
    m_state = StateRegistering;

    m_stack->lock();
    // A context left from an earlier attempt is of no further use.
    if (m_rid > 0) {
        m_stack->registerRemove(m_rid);
        m_rid = 0;
    }
    osip_message_t *reg = nullptr;
    const int rid = m_stack->registerBuildInitialRegister(from, registrar, contact, expires, &reg);
    if (rid > 0) {
        m_rid = rid;
        useOwnCredentials();
        m_stack->registerSendRegister(rid, reg);
    } else {
        // Retried from scratch by the next refresh pass.
        m_state = StateFailed;
    }
    m_stack->unlock();
    return 0;
}

void SipChannel::useOwnCredentials()
{
    m_stack->clearAuthenticationInfo();
    m_stack->addAuthenticationInfo(m_user, m_user, m_password, nullptr, nullptr);
}

void SipChannel::unregister()
{
    lock();
    endAllCalls();
    unlock();
    registerAccount(m_host, m_port, m_user, nullptr, nullptr, m_password, nullptr, 0);
    m_state = StateUnregistering;
}

void SipChannel::removeRegistration()
{
    if (m_rid > 0 && m_stack) {
        m_stack->lock();
        m_stack->registerRemove(m_rid);
        m_stack->unlock();
    }
    m_rid = 0;
}

void SipChannel::registerAgain(const char *contact)
{
    // registerAccount copies the texts it is given; keep the stored ones
    // alive while it does.
    char *host = SipString::duplicate(m_host);
    char *user = SipString::duplicate(m_user);
    char *authId = SipString::duplicate(m_authId);
    char *authId2 = SipString::duplicate(m_authId2);
    char *password = SipString::duplicate(m_password);
    registerAccount(host, m_port, user, authId, authId2, password, contact, m_expires);
    SipString::clear(&host);
    SipString::clear(&user);
    SipString::clear(&authId);
    SipString::clear(&authId2);
    SipString::clear(&password);
}

int SipChannel::effectiveExpires() const
{
    if (m_grantedExpires > 0 && (m_expires <= 0 || m_grantedExpires < m_expires)) {
        return m_grantedExpires;
    }
    return m_expires;
}

int64_t SipChannel::refreshIntervalMs() const
{
    // A fifth of the registration, but not more often than every 10 s
    // unless the registration is so short that 10 s would let it lapse:
    // then at half of it.
    const int64_t expires = std::max(0, effectiveExpires());
    return std::max(expires * 200, std::min<int64_t>(10000, expires * 500));
}

void SipChannel::refreshRegistration()
{
    const int64_t now = m_manager->currentMilliseconds();
    switch (m_state) {
    case StateRegistered:
        if (now < m_lastSuccess) {
            m_lastSuccess = now;
        }
        if (now - m_lastSuccess <= refreshIntervalMs()) {
            break;
        }
        m_state = StateRefreshDue;
        // The refresh goes out now, not a pass later.
        [[fallthrough]];
    case StateRegistering:
    case StateRefreshDue:
        if (m_rid > 0 && m_stack) {
            m_stack->lock();
            // The stack holds one set of credentials for all accounts: a
            // challenged refresh must be signed as this account.
            useOwnCredentials();
            // Refused by the stack while the previous REGISTER is pending.
            m_stack->registerSendRegister(m_rid, nullptr);
            m_stack->unlock();
        }
        break;
    case StateFailed:
        removeRegistration();
        registerAgain(nullptr);
        break;
    default:
        break;
    }
}

void SipChannel::onRegisterSuccess(SipStackEvent *event)
{
    if (m_state == StateUnregistering) {
        if (m_observer) {
            m_observer->onUnregistered(this, m_host, m_port, m_user);
        }
        removeRegistration();
        m_state = StateUnregistered;
        return;
    }
    m_lastSuccess = m_manager->currentMilliseconds();
    m_retries = 0;
    const int granted = SipMessageFields::grantedExpires(event->response, m_manager->localIp());
    if (granted > 0) {
        m_grantedExpires = granted;
    }

    const char *received = SipMessageFields::topViaParam(event->response, "received");
    const char *rport = SipMessageFields::topViaParam(event->response, "rport");
    osip_uri_t *contact = SipMessageFields::contactUri(event->request);
    if (contact && !SipString::isEmpty(received) && !SipString::isEmpty(rport)
        && (!SipString::equal(contact->host, received) || !SipString::equal(contact->port, rport))
        && SipMessageFields::port(rport, 0) > 0) {
        char masqueraded[256];
        if (std::snprintf(masqueraded, sizeof(masqueraded), "sip:%s@%s:%s", orEmpty(m_user), received, rport)
            < int(sizeof(masqueraded))) {
            // The texts live in the event, which outlives this handler.
            removeRegistration();
            SIPCHANNEL_LOG("%s@%s:%d set masquerade %s %s", orEmpty(m_user), orEmpty(m_host), m_port, received,
                           rport);
            m_stack->lock();
            m_stack->masqueradeContact(received, SipMessageFields::port(rport, 0));
            m_stack->unlock();
            registerAgain(masqueraded);
            return;
        }
    }
    if (m_observer) {
        m_observer->onRegistered(this, m_host, m_port, m_user);
    }
    m_state = StateRegistered;
}

void SipChannel::onRegisterFailure(SipStackEvent *event)
{
    if (isChallenge(event) && m_retries < kMaxAuthRetries) {
        ++m_retries;
        m_stack->lock();
        useOwnCredentials();
        m_stack->registerSendRegister(m_rid, nullptr);
        m_stack->unlock();
        return;
    }
    removeRegistration();
    if (m_state == StateUnregistering) {
        if (m_observer) {
            m_observer->onUnregisterFailed(this, m_host, m_port, m_user);
        }
        m_state = StateUnregisterFailed;
        return;
    }
    // The password stays out of the log.
    SIPCHANNEL_LOG("%s@%s:%d register failure", orEmpty(m_user), orEmpty(m_host), m_port);
    if (m_observer) {
        m_observer->onRegisterFailed(this, m_host, m_port, m_user);
    }
    m_state = StateFailed;
}

// ---- calls ----------------------------------------------------------------

int SipChannel::writeSdp(SipCall *call, char *buffer, int size) const
{
    return SipSessionDescription::write(buffer, size, m_manager->localIp(), call->localAudioPort(),
                                        call->localVideoPort(), call->localAudioPayloads(),
                                        call->localVideoPayloads());
}

int SipChannel::sendAnswer(int tid, int status, const char *sdp)
{
    if (!m_stack) {
        return -1;
    }
    m_stack->lock();
    int ret;
    if (sdp) {
        osip_message_t *answer = nullptr;
        ret = m_stack->callBuildAnswer(tid, status, &answer);
        if (ret == 0) {
            osip_message_set_body(answer, sdp, std::strlen(sdp));
            osip_message_set_content_type(answer, kSdpType);
            ret = m_stack->callSendAnswer(tid, status, answer);
        }
    } else {
        ret = m_stack->callSendAnswer(tid, status, nullptr);
    }
    m_stack->unlock();
    return ret;
}

bool SipChannel::takeRemoteSdp(SipCall *call, int tid)
{
    m_stack->lock();
    sdp_message_t *sdp = m_stack->getRemoteSdp(tid);
    m_stack->unlock();
    if (!sdp) {
        return false;
    }
    sdp_media_t *audio = SipSdp::audioMedia(sdp);
    sdp_media_t *video = SipSdp::videoMedia(sdp);
    sdp_connection_t *audioConnection = SipSdp::audioConnection(sdp);
    sdp_connection_t *videoConnection = SipSdp::videoConnection(sdp);
    call->setRemotePayloads(SipSessionDescription::parsePayloads(audio), SipSessionDescription::parsePayloads(video));
    call->setRemoteAddress(audioConnection ? audioConnection->c_addr : nullptr, SipSdp::mediaPort(audio),
                           videoConnection ? videoConnection->c_addr : nullptr, SipSdp::mediaPort(video));
    sdp_message_free(sdp);
    return true;
}

int SipChannel::invite(SipCall *call, SipPayloadList *audio, SipPayloadList *video)
{
    if (!call || !m_stack) {
        delete audio;
        delete video;
        return -1;
    }
    char to[128];
    char from[128];
    if (!format(to, "sip:%s@%s:%d", call->remoteNumber(), m_host, m_port)
        || !format(from, "<sip:%s@%s:%d>", m_user, m_host, m_port)) {
        delete audio;
        delete video;
        return -1;
    }
    call->setLocalPayloads(audio, video);
    call->setBindAddress(m_manager->bindAddress());
    char sdp[SipSessionDescription::kBufferSize];
    if (writeSdp(call, sdp, sizeof(sdp)) < 0) {
        return -1;
    }
    m_stack->lock();
    osip_message_t *request = nullptr;
    int cid = m_stack->callBuildInitialInvite(&request, to, from, nullptr, "ksip");
    if (cid >= 0) {
        osip_message_set_body(request, sdp, std::strlen(sdp));
        osip_message_set_content_type(request, kSdpType);
        cid = m_stack->callSendInitialInvite(request);
    }
    m_stack->unlock();
    if (cid > 0) {
        call->setCallId(cid);
    }
    return cid;
}

int SipChannel::answerCall(SipCall *call, SipPayloadList *audio, SipPayloadList *video)
{
    if (!call) {
        delete audio;
        delete video;
        return -1;
    }
    call->setLocalPayloads(audio, video);
    const bool nothing = (!audio || audio->isEmpty()) && (!video || video->isEmpty());
    char sdp[SipSessionDescription::kBufferSize];
    if (nothing || writeSdp(call, sdp, sizeof(sdp)) < 0) {
        // An answer without media is no answer to an offer.
        return sendAnswer(call->transactionId(), 488, nullptr) == 0 ? 0 : -1;
    }
    return sendAnswer(call->transactionId(), 200, sdp) == 0 ? 0 : -1;
}

void SipChannel::ringCall(SipCall *call)
{
    if (call) {
        sendAnswer(call->transactionId(), 180, nullptr);
    }
}

void SipChannel::stopCallMedia(SipCall *call)
{
    if (call->isStarted()) {
        call->stop();
        if (m_observer) {
            m_observer->onCallStopped(this, call);
        }
    }
}

void SipChannel::endCall(SipCall *call)
{
    if (!call) {
        return;
    }
    call->setInvalid(true);
    if (m_stack) {
        m_stack->lock();
        m_stack->callTerminate(call->callId(), call->dialogId());
        m_stack->unlock();
    }
    stopCallMedia(call);
    if (call->markRemoved() && m_observer) {
        m_observer->onCallRemoved(this, call);
    }
}

void SipChannel::removeCall(SipCall *call)
{
    if (!call) {
        return;
    }
    stopCallMedia(call);
    if (call->markRemoved() && m_observer) {
        m_observer->onCallRemoved(this, call);
    }
    m_calls.remove(call);
}

void SipChannel::addCall(SipCall *call)
{
    lock();
    m_calls.append(call);
    unlock();
}

void SipChannel::endAllCalls()
{
    for (SipCall *call : m_calls) {
        endCall(call);
    }
    m_calls.clear();
}

void SipChannel::terminateCall(const char *number)
{
    lock();
    std::vector<SipCall *> ended;
    for (SipCall *call : m_calls) {
        if (SipString::equal(call->remoteNumber(), number)) {
            ended.push_back(call);
        }
    }
    for (SipCall *call : ended) {
        endCall(call);
        m_calls.remove(call);
    }
    unlock();
}

void SipChannel::terminateAllCalls()
{
    lock();
    endAllCalls();
    unlock();
}

void SipChannel::terminateInvalidCalls()
{
    lock();
    std::vector<SipCall *> invalid;
    for (SipCall *call : m_calls) {
        if (call->isInvalid()) {
            invalid.push_back(call);
        }
    }
    for (SipCall *call : invalid) {
        SIPCHANNEL_LOG("call %s %s invalid, terminate", orEmpty(call->remoteNumber()), orEmpty(m_host));
        endCall(call);
        m_calls.remove(call);
    }
    unlock();
}

void SipChannel::setVolume(int volume)
{
    m_volume = volume;
    lock();
    for (SipCall *call : m_calls) {
        call->setVolume(volume);
    }
    unlock();
}

SipCall *SipChannel::findCall(int callId)
{
    lock();
    SipCall *call = callId > 0 ? m_calls.find([callId](SipCall *c) { return c->callId() == callId; }) : nullptr;
    unlock();
    return call;
}

bool SipChannel::isIdle()
{
    lock();
    const bool idle = m_calls.isEmpty();
    unlock();
    return idle;
}

// ---- call events ----------------------------------------------------------

void SipChannel::onCallInvite(const char *fromUser, const char *displayName, SipStackEvent *event)
{
    SIPCHANNEL_LOG("onCallInvite %s %s", orEmpty(fromUser), orEmpty(displayName));
    SipCall *call = createCall();
    call->setVolume(m_volume);
    call->setCallId(event->cid);
    call->setTransactionId(event->tid);
    call->setDialogId(event->did);
    call->setRemoteNumber(fromUser);
    call->setRemoteDisplayName(displayName);
    call->setRegistrarHost(m_host);
    call->setBindAddress(m_manager->bindAddress());

    if (!takeRemoteSdp(call, event->tid)) {
        // An offer is required: this agent never makes the offer in a 2xx.
        SIPCHANNEL_LOG("invite without sdp, refuse it");
        sendAnswer(event->tid, 488, nullptr);
        delete call;
        return;
    }
    // Only an offer this agent can carry is taken up.
    SipPayloadList *remoteAudio = call->remoteAudioPayloads();
    SipPayloadList *carried = remoteAudio && !remoteAudio->isEmpty() ? SipPayload::supportedPayloads(remoteAudio)
                                                                     : nullptr;
    const bool acceptable = carried && !carried->isEmpty() && call->remoteAudioPort() > 0;
    delete carried;
    if (!acceptable) {
        SIPCHANNEL_LOG("invite without a codec this agent carries, refuse it");
        sendAnswer(event->tid, 488, nullptr);
        delete call;
        return;
    }
    const int audioPort = nextRtpPort();
    const int videoPort = audioPort > 0 ? nextRtpPort() : -1;
    if (audioPort <= 0 || videoPort <= 0) {
        SIPCHANNEL_LOG("no free rtp port, refuse invite");
        sendAnswer(event->tid, 503, nullptr);
        delete call;
        return;
    }
    call->setLocalPorts(audioPort, videoPort);

    if (m_observer) {
        m_observer->onCallCreated(this, call);
        m_observer->onCallInvite(this, call, call->remoteAudioPayloads(), call->remoteVideoPayloads());
    }
    addCall(call);
}

void SipChannel::onCallReinvite(SipCall *call, SipStackEvent *event)
{
    if (m_observer) {
        m_observer->onCallReinvite(this, call);
    }
    // The session stays as it is: the answer repeats this side's SDP.
    char sdp[SipSessionDescription::kBufferSize];
    const bool haveMedia = (call->localAudioPayloads() && !call->localAudioPayloads()->isEmpty())
        || (call->localVideoPayloads() && !call->localVideoPayloads()->isEmpty());
    if (haveMedia && writeSdp(call, sdp, sizeof(sdp)) > 0) {
        sendAnswer(event->tid, 200, sdp);
    } else {
        sendAnswer(event->tid, 488, nullptr);
    }
}

bool SipChannel::retryWithCredentials(SipCall *call, SipStackEvent *event)
{
    if (!isChallenge(event) || call->authRetries() >= kMaxAuthRetries) {
        return false;
    }
    call->setAuthRetries(call->authRetries() + 1);
    m_stack->lock();
    useOwnCredentials();
    // Only this call: another account's challenged call must not be signed
    // with this account's credentials.
    m_stack->automaticAction(call->callId());
    m_stack->unlock();
    return true;
}

void SipChannel::onCallProgress(SipCall *call, SipStackEvent *event,
                                void (SipChannelObserver::*tell)(SipChannel *, SipCall *))
{
    // A challenge is answered a bounded number of times; after that it
    // stands as the call's failure.
    if (retryWithCredentials(call, event)) {
        return;
    }
    if (!isChallenge(event)) {
        if (m_observer) {
            (m_observer->*tell)(this, call);
        }
        return;
    }
    if (m_observer) {
        m_observer->onCallRequestFailure(this, call);
    }
    // The stack keeps a challenged call for a further attempt: this one is
    // over, and goes now.
    lock();
    endCall(call);
    m_calls.remove(call);
    unlock();
}

void SipChannel::onCallNoAnswer(SipCall *call, SipStackEvent *event)
{
    SIPCHANNEL_LOG("onCallNoAnswer");
    onCallProgress(call, event, &SipChannelObserver::onCallNoAnswer);
}

void SipChannel::onCallProceeding(SipCall *call, SipStackEvent *event)
{
    SIPCHANNEL_LOG("onCallProceeding");
    onCallProgress(call, event, &SipChannelObserver::onCallProceeding);
}

void SipChannel::onCallRinging(SipCall *call, SipStackEvent *event)
{
    SIPCHANNEL_LOG("onCallRinging");
    onCallProgress(call, event, &SipChannelObserver::onCallRinging);
}

void SipChannel::onCallRequestFailure(SipCall *call, SipStackEvent *event)
{
    onCallProgress(call, event, &SipChannelObserver::onCallRequestFailure);
}

void SipChannel::onCallAnswered(SipCall *call, SipStackEvent *event)
{
    SIPCHANNEL_LOG("onCallAnswered");
    if (event->did > 0) {
        call->setDialogId(event->did);
    }
    const bool haveSdp = takeRemoteSdp(call, event->tid);
    // Every 2xx is acknowledged, even one this side then ends with BYE.
    m_stack->lock();
    osip_message_t *ack = nullptr;
    if (m_stack->callBuildAck(call->dialogId(), &ack) == 0) {
        m_stack->callSendAck(call->dialogId(), ack);
    }
    m_stack->unlock();
    startMediaOrEnd(call, haveSdp);
}

void SipChannel::onCallAck(SipCall *call, SipStackEvent *)
{
    if (call->isStarted()) {
        return;
    }
    startMediaOrEnd(call, true);
}

void SipChannel::startMediaOrEnd(SipCall *call, bool usable)
{
    if (!usable || call->start() != 0) {
        lock();
        endCall(call);
        unlock();
        return;
    }
    if (m_observer) {
        m_observer->onCallAnswered(this, call);
        m_observer->onCallStarted(this, call);
    }
}

void SipChannel::onCallRedirected(SipCall *call, SipStackEvent *)
{
    if (m_observer) {
        m_observer->onCallRedirected(this, call);
    }
}

void SipChannel::endedByPeer(SipCall *call, void (SipChannelObserver::*tell)(SipChannel *, SipCall *))
{
    if (m_observer) {
        (m_observer->*tell)(this, call);
    }
    lock();
    removeCall(call);
    unlock();
}

void SipChannel::onCallClosed(SipCall *call, SipStackEvent *)
{
    endedByPeer(call, &SipChannelObserver::onCallClosed);
}

void SipChannel::onCallReleased(SipCall *call, SipStackEvent *)
{
    endedByPeer(call, &SipChannelObserver::onCallReleased);
}

void SipChannel::onCallCancelled(SipCall *call, SipStackEvent *)
{
    endedByPeer(call, &SipChannelObserver::onCallCancelled);
}
