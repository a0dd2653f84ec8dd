#include "SipManager.h"

#include "RDLog.h"
#include "RDNetworkAdapter.h"
#include "RDThread.h"
#include "SipCall.h"
#include "SipChannel.h"
#include "SipEventParserThread.h"
#include "SipMessageFields.h"
#include "SipStack.h"
#include "SipStackEvent.h"
#include "SipString.h"

#include <osipparser2/osip_message.h>

#include <cstring>

#define SIPMANAGER_LOG(...) RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {

constexpr int kProtocolUdp = 17;
constexpr int kProtocolTcp = 6;
constexpr int kFamilyIpv4 = 2;

bool isRegistrationEvent(SipStackEventType type)
{
    return type == SipStackEventType::RegistrationSuccess || type == SipStackEventType::RegistrationFailure;
}

// The address an incoming request came from: what the stack saw on the
// socket; the top Via's "received" or host only when the stack gave none.
const char *requestSource(const SipStackEvent *event)
{
    if (!event->remoteAddress.empty()) {
        return event->remoteAddress.c_str();
    }
    const char *received = SipMessageFields::topViaParam(event->request, "received");
    if (!SipString::isEmpty(received)) {
        return received;
    }
    return SipMessageFields::topViaHost(event->request);
}

} // namespace

SipManager::SipManager(int rtpBase, const SipStackConfig &stackConfig)
    : m_stackConfig(stackConfig), m_rtpCursor(rtpBase), m_rtpBase(rtpBase)
{
}

SipManager::~SipManager()
{
    release();
    SipString::clear(&m_bindAddress);
}

int SipManager::init(int port, int udp)
{
    if (m_stack) {
        return 0;
    }
    SipStackConfig config = m_stackConfig;
    if (!config.log) {
        config.log = [](const std::string &line) { SIPMANAGER_LOG("%s", line.c_str()); };
    }
    auto stack = std::make_unique<SipStack>(config);
    int ret = stack->init();

    int candidate = port > 0 ? port : 5060;
    while (!(SipStack::findFreePort(candidate, kProtocolUdp) && SipStack::findFreePort(candidate, kProtocolTcp))) {
        ++candidate;
        if (candidate > 65535) {
            ret = -1;
            break;
        }
    }

    if (ret == 0) {
        ret = stack->listenAddr(udp ? kProtocolUdp : kProtocolTcp, m_bindAddress, candidate, kFamilyIpv4, 0);
        if (udp) {
            SIPMANAGER_LOG("eXosip_listen_addr udp port = %d, ret = %d", candidate, ret);
        } else {
            SIPMANAGER_LOG("eXosip_listen_addr tcp port = %d, ret = %d", candidate, ret);
        }
    }
    if (ret == 0) {
        if (m_localIp[0] == '\0') {
            const RDNetworkAdapter adapter = defaultNetworkAdapter();
            setLocalIp(adapter.ip.isEmpty() ? "127.0.0.1" : adapter.ip.toUtf8().constData());
        }
        // Via and Contact carry the address the accounts register with.
        stack->setLocalAddress(m_localIp);
        if (stack->addAccountInfo(m_localIp, m_localIp, m_listenPort) == 0) {
            SIPMANAGER_LOG("set local loop account info %s:%d %s", m_localIp, m_listenPort, m_localIp);
        }
    }
    if (ret != 0) {
        stack->quit();
        return ret;
    }
    m_listenPort = stack->listenPort() > 0 ? stack->listenPort() : candidate;
    m_stack = std::move(stack);
    m_thread = new SipEventParserThread(this, m_stack.get());
    m_thread->start();
    return 0;
}

void SipManager::release()
{
    if (m_thread) {
        m_thread->stop();
        if (m_stack)
            m_stack->interruptEventWait();
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    lock();
    m_channels.clear();
    unlock();
    if (m_stack) {
        m_stack->quit();
        m_stack.reset();
    }
    m_listenPort = 0;
}

SipChannel *SipManager::createChannel(const char *, int, const char *)
{
    return new SipChannel(this, m_stack.get());
}

SipChannel *SipManager::localLoopChannel()
{
    return m_channels.find([](SipChannel *c) { return SipString::isEmpty(c->host()) && c->port() == 0; });
}

SipChannel *SipManager::addChannel(const char *host, int port, const char *user, const char *authId,
                                   const char *authId2, const char *password)
{
    if (!m_stack) {
        return nullptr;
    }
    SipChannel *channel = createChannel(host, port, user);
    if (!channel) {
        return nullptr;
    }
    channel->registerAccount(host, port, user, authId, authId2, password, nullptr, kDefaultExpires);
    m_channels.append(channel);
    return channel;
}

void SipManager::removeChannel(SipChannel *channel)
{
    m_channels.remove(channel);
}

SipChannel *SipManager::findChannel(const char *host, int port, const char *user) const
{
    if (!host || !user) {
        return nullptr;
    }
    return m_channels.find([&](SipChannel *c) {
        return SipString::equal(c->host(), host) && c->port() == port && SipString::equal(c->user(), user);
    });
}

SipChannel *SipManager::findChannelByUser(const char *user) const
{
    if (!user) {
        return nullptr;
    }
    return m_channels.find([&](SipChannel *c) { return SipString::equal(c->user(), user); });
}

SipChannel *SipManager::findChannelByCall(int callId) const
{
    if (callId <= 0) {
        return nullptr;
    }
    return m_channels.find([&](SipChannel *c) { return c->findCall(callId) != nullptr; });
}

SipChannel *SipManager::findInviteChannel(const osip_message *request) const
{
    osip_uri_t *contact = SipMessageFields::contactUri(request);
    if (!contact || SipString::isEmpty(contact->host)) {
        contact = SipMessageFields::recordRouteUri(request);
    }
    const char *contactHost = contact && !SipString::isEmpty(contact->host) ? contact->host : nullptr;
    const int contactPort = contact ? SipMessageFields::port(contact->port) : 5060;
    const char *viaHost = SipMessageFields::topViaHost(request);
    const int viaPort = SipMessageFields::port(SipMessageFields::topViaPort(request));
    // The Via names another host only when it differs from the Contact's.
    if (SipString::isEmpty(viaHost) || SipString::equal(viaHost, contactHost)) {
        viaHost = nullptr;
    }
    osip_uri_t *to = SipMessageFields::toUri(request);
    const char *toUser = to && !SipString::isEmpty(to->username) ? to->username : nullptr;
    const char *toHost = to ? to->host : nullptr;
    const int toPort = to ? SipMessageFields::port(to->port) : 5060;

    // The account at this host and port whose second authentication id,
    // else user, else first authentication id is the To user.
    auto byAccount = [&](const char *host, int port) -> SipChannel * {
        for (const char *(SipChannel::*id)() const : {&SipChannel::authId2, &SipChannel::user, &SipChannel::authId}) {
            if (SipChannel *c = m_channels.find([&](SipChannel *c) {
                    return SipString::equal(c->host(), host) && c->port() == port
                        && SipString::equal((c->*id)(), toUser);
                })) {
                return c;
            }
        }
        return nullptr;
    };
    auto idleAt = [&](const char *host, int port) {
        return m_channels.find([&](SipChannel *c) {
            return SipString::equal(c->host(), host) && c->port() == port && c->isIdle();
        });
    };

    if (contactHost && toUser) {
        if (SipChannel *c = byAccount(contactHost, contactPort)) {
            return c;
        }
    }
    if (viaHost && toUser) {
        if (SipChannel *c = byAccount(viaHost, viaPort)) {
            return c;
        }
    }
    if (toUser) {
        if (SipChannel *c = findChannelByUser(toUser)) {
            return c;
        }
    }
    if (contactHost) {
        if (SipChannel *c = idleAt(contactHost, contactPort)) {
            return c;
        }
    }
    if (viaHost) {
        if (SipChannel *c = idleAt(viaHost, viaPort)) {
            return c;
        }
    }
    if (toHost && SipString::equal(toHost, m_localIp) && toPort == m_listenPort) {
        if (SipChannel *c = const_cast<SipManager *>(this)->localLoopChannel()) {
            return c;
        }
    }
    return m_channels.find([](SipChannel *c) { return c->isIdle(); });
}

void SipManager::setLocalIp(const char *ip)
{
    if (!ip) {
        m_localIp[0] = '\0';
        return;
    }
    std::strncpy(m_localIp, ip, kLocalIpSize - 1);
    m_localIp[kLocalIpSize - 1] = '\0';
}

void SipManager::setBindAddress(const char *ip)
{
    SipString::assign(&m_bindAddress, ip);
}

int SipManager::nextRtpPort()
{
    std::lock_guard<std::mutex> guard(m_portLock);
    auto advance = [this](int port) {
        port += 2;
        return port >= m_rtpBase + kRtpRange ? m_rtpBase : port;
    };
    // Each candidate is an RTP/RTCP pair; one full turn of the range at most.
    for (int tries = 0; tries < kRtpRange / 2; ++tries) {
        const int port = m_rtpCursor;
        m_rtpCursor = advance(m_rtpCursor);
        if (SipStack::findFreePort(port, kProtocolUdp) && SipStack::findFreePort(port + 1, kProtocolUdp)) {
            return port;
        }
    }
    return -1;
}

void SipManager::lock()
{
    m_lock.lock();
}

void SipManager::unlock()
{
    m_lock.unlock();
}

int64_t SipManager::currentMilliseconds() const
{
    std::lock_guard<std::mutex> guard(m_clockLock);
    if (m_clock) {
        return m_clock();
    }
    // The steady clock: a wall-clock step neither delays nor hurries the
    // refresh and the housekeeping.
    return int64_t(monotonicSeconds() * 1000.0);
}

void SipManager::setClock(std::function<int64_t()> clock)
{
    std::lock_guard<std::mutex> guard(m_clockLock);
    m_clock = std::move(clock);
}

void SipManager::housekeeping()
{
    lock();
    for (SipChannel *channel : m_channels) {
        channel->refreshRegistration();
        channel->terminateInvalidCalls();
    }
    unlock();
}

void SipManager::answerRequest(SipStackEvent *event, int status)
{
    m_stack->lock();
    osip_message_t *answer = nullptr;
    if (m_stack->messageBuildAnswer(event->tid, status, &answer) == 0) {
        m_stack->messageSendAnswer(event->tid, status, answer);
    }
    m_stack->unlock();
}

void SipManager::onCallInvite(SipStackEvent *event)
{
    SipChannel *channel = findInviteChannel(event->request);
    if (!channel) {
        SIPMANAGER_LOG("can't find channel with invite, terminate it");
        m_stack->lock();
        m_stack->callTerminate(event->cid, event->did);
        m_stack->unlock();
        return;
    }
    // Calls are taken only from the account's registrar, and calls for the
    // local-loop account only from this host.
    const char *source = requestSource(event);
    const bool allowed = SipString::isEmpty(channel->host()) ? SipMessageFields::isLoopback(source)
                                                            : SipMessageFields::sameAddress(source, channel->host());
    if (!allowed) {
        SIPMANAGER_LOG("invite from %s refused for %s@%s:%d", source ? source : "(unknown)", channel->user(),
                       channel->host() ? channel->host() : "", channel->port());
        m_stack->lock();
        m_stack->callSendAnswer(event->tid, 403, nullptr);
        m_stack->unlock();
        return;
    }
    osip_uri_t *from = SipMessageFields::fromUri(event->request);
    const char *displayName = from ? SipMessageFields::fromDisplayName(event->request) : nullptr;
    channel->onCallInvite(from ? from->username : nullptr, displayName, event);
}

void SipManager::parseEvent(SipStackEvent *event)
{
    if (!event || !m_stack) {
        return;
    }
    const SipStackEventType type = event->type;

    if (isRegistrationEvent(type)) {
        lock();
        SipChannel *channel = event->rid > 0
            ? m_channels.find([&](SipChannel *c) { return c->registrationId() == event->rid; })
            : nullptr;
        if (channel) {
            if (type == SipStackEventType::RegistrationSuccess) {
                channel->onRegisterSuccess(event);
                if (channel->state() == SipChannel::StateUnregistered) {
                    removeChannel(channel);
                }
            } else {
                channel->onRegisterFailure(event);
                if (channel->state() == SipChannel::StateUnregisterFailed) {
                    removeChannel(channel);
                }
            }
        }
        unlock();
        return;
    }

    switch (type) {
    case SipStackEventType::CallInvite:
        lock();
        onCallInvite(event);
        unlock();
        return;
    case SipStackEventType::MessageNew:
        // Requests outside a dialog (OPTIONS among them) are answered 200.
        answerRequest(event, 200);
        return;
    case SipStackEventType::MessageProceeding:
    case SipStackEventType::MessageAnswered:
    case SipStackEventType::MessageRedirected:
    case SipStackEventType::MessageRequestFailure:
    case SipStackEventType::MessageServerFailure:
    case SipStackEventType::MessageGlobalFailure:
        m_stack->lock();
        m_stack->automaticAction();
        m_stack->unlock();
        return;
    default:
        break;
    }

    lock();
    SipChannel *channel = findChannelByCall(event->cid);
    SipCall *call = channel ? channel->findCall(event->cid) : nullptr;
    if (call) {
        switch (type) {
        case SipStackEventType::CallReinvite:
            channel->onCallReinvite(call, event);
            break;
        case SipStackEventType::CallNoAnswer:
            channel->onCallNoAnswer(call, event);
            break;
        case SipStackEventType::CallProceeding:
            channel->onCallProceeding(call, event);
            break;
        case SipStackEventType::CallRinging:
            channel->onCallRinging(call, event);
            break;
        case SipStackEventType::CallAnswered:
            channel->onCallAnswered(call, event);
            break;
        case SipStackEventType::CallRedirected:
            channel->onCallRedirected(call, event);
            break;
        case SipStackEventType::CallRequestFailure:
        case SipStackEventType::CallServerFailure:
        case SipStackEventType::CallGlobalFailure:
            channel->onCallRequestFailure(call, event);
            break;
        case SipStackEventType::CallAck:
            channel->onCallAck(call, event);
            break;
        case SipStackEventType::CallCancelled:
            channel->onCallCancelled(call, event);
            break;
        case SipStackEventType::CallClosed:
            channel->onCallClosed(call, event);
            break;
        case SipStackEventType::CallReleased:
            channel->onCallReleased(call, event);
            break;
        default:
            // In-dialog requests and their answers: the stack has answered
            // them already.
            break;
        }
    } else if (type == SipStackEventType::CallReinvite) {
        // A re-INVITE for a call this side no longer knows.
        m_stack->lock();
        m_stack->callSendAnswer(event->tid, 481, nullptr);
        m_stack->unlock();
    }
    unlock();
}
