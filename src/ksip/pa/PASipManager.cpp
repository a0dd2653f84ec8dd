#include "PASipManager.h"

#include "KelClient.h"
#include "PASipCall.h"
#include "PASipChannel.h"
#include "PASipDevice.h"
#include "RDHttpStreamServer.h"
#include "RDLog.h"
#include "SipPayload.h"
#include "SipString.h"

#include <QtGlobal>

#include <atomic>
#include <condition_variable>
#include <mutex>

#define PASIP_LOG(...) RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, __VA_ARGS__)

namespace {
std::atomic<PASipManager *> s_instance{nullptr};
// Number of live PASipManager::Use objects. A user counts itself before it
// loads the pointer and the destroyer clears the pointer before it reads the
// count (both sequentially consistent), so the destroyer either sees the user
// or the user sees no manager.
std::atomic<int> s_users{0};
// Set while destroyInstance waits for the users it saw; the last of them
// then wakes it (under the lock, so the wake cannot come between the
// destroyer's test and its wait).
std::atomic<bool> s_destroying{false};
std::mutex s_usersLock;
std::condition_variable s_usersGone;
// Serialises createInstance and destroyInstance.
std::mutex s_lifeLock;

std::mutex s_httpLock;
std::shared_ptr<RDHttpStreamServer> s_httpServer;

QByteArray utf8(const QString &s)
{
    return s.toUtf8();
}
}

PASipManager::Use::Use()
{
    s_users.fetch_add(1);
    m_sip = s_instance.load();
}

PASipManager::Use::~Use()
{
    if (s_users.fetch_sub(1) == 1 && s_destroying.load()) {
        std::lock_guard<std::mutex> lock(s_usersLock);
        s_usersGone.notify_all();
    }
}

PASipManager::PASipManager(int rtpBase)
    : SipManager(rtpBase)
{
}

PASipManager::~PASipManager()
{
    release();
}

bool PASipManager::createInstance(const QString &localIp, int sipPort, int rtpBase, const QString &bindAddress)
{
    std::lock_guard<std::mutex> life(s_lifeLock);
    if (PASipManager *m = s_instance.load())
        return m->stack() != nullptr;
    PASipManager *m = new PASipManager(rtpBase);
    m->setLocalIp(utf8(localIp.left(kLocalIpSize - 1)).constData());
    if (!bindAddress.isEmpty())
        m->setBindAddress(utf8(bindAddress).constData());
    const int rc = m->init(sipPort, 1);
    if (rc != 0)
        PASIP_LOG("sip agent could not listen from port %d: %d\n", sipPort, rc);
    s_instance.store(m);
    return rc == 0;
}

PASipManager *PASipManager::instance()
{
    return s_instance.load();
}

void PASipManager::destroyInstance()
{
    std::lock_guard<std::mutex> life(s_lifeLock);
    PASipManager *m = s_instance.exchange(nullptr);
    if (!m)
        return;
    {
        std::unique_lock<std::mutex> lock(s_usersLock);
        s_destroying.store(true);
        s_usersGone.wait(lock, [] { return s_users.load() == 0; });
        s_destroying.store(false);
    }
    m->release();
    delete m;
}

void PASipManager::setHttpStreamServer(const std::shared_ptr<RDHttpStreamServer> &server)
{
    std::lock_guard<std::mutex> lock(s_httpLock);
    s_httpServer = server;
}

std::shared_ptr<RDHttpStreamServer> PASipManager::httpStreamServer()
{
    std::lock_guard<std::mutex> lock(s_httpLock);
    return s_httpServer;
}

SipChannel *PASipManager::createChannel(const char *, int, const char *)
{
    return new PASipChannel(this, stack());
}

PASipChannel *PASipManager::findChannel(const QString &host, int port, const QString &user) const
{
    // An account still signing out may share host, port and user with the
    // one signed in after it: the live one is meant.
    const QByteArray h = utf8(host);
    const QByteArray u = utf8(user);
    for (SipChannel *channel : channels()) {
        if (channel->state() < SipChannel::StateUnregistering && channel->port() == port
            && SipString::equal(channel->host(), h.constData()) && SipString::equal(channel->user(), u.constData()))
            return dynamic_cast<PASipChannel *>(channel);
    }
    return nullptr;
}

bool PASipManager::registerAccount(const QString &host, int port, const QString &user, const QString &password)
{
    const QByteArray u = utf8(user);
    SipChannel *channel = addChannel(utf8(host).constData(), port, u.constData(), u.constData(), u.constData(),
                                     utf8(password).constData());
    if (channel)
        channel->setObserver(this);
    return channel != nullptr;
}

PASipChannel *PASipManager::registerSourceAccount(const QString &host, int port, const QString &user,
                                                  const QString &password, const QString &sourceUrl,
                                                  const RDCoreDevice &soundDevice,
                                                  const std::shared_ptr<KelClient> &session,
                                                  const QString &publishPath, int volume)
{
    const QByteArray h = utf8(host);
    const QByteArray u = utf8(user);
    const QByteArray p = utf8(password);
    SipChannel *channel = findChannel(host, port, user);
    if (channel) {
        channel->setState(SipChannel::StateNew);
        channel->registerAccount(h.constData(), port, u.constData(), u.constData(), u.constData(), p.constData(),
                                 nullptr, kDefaultExpires);
    } else {
        // An account still signing out is a different registration: the
        // zone starting again gets a fresh one.
        channel = addChannel(h.constData(), port, u.constData(), u.constData(), u.constData(), p.constData());
        if (!channel)
            return nullptr;
    }
    PASipChannel *pa = dynamic_cast<PASipChannel *>(channel);
    if (!pa)
        return nullptr;
    pa->setSourceUrl(sourceUrl);
    pa->setSoundSource(soundDevice);
    pa->setTalkSession(session);
    pa->setPublishPath(publishPath);
    pa->setVolume(qBound(0, volume, 200));
    pa->setObserver(this);
    return pa;
}

namespace {
// Runs `fn` on every call of `channel` that has a device (channel lock held).
template <typename Fn>
void forEachDevice(SipChannel *channel, Fn fn)
{
    channel->lock();
    for (SipCall *call : channel->calls()) {
        if (PASipCall *pa = dynamic_cast<PASipCall *>(call))
            pa->withDevice(fn);
    }
    channel->unlock();
}
}

bool PASipManager::unregisterAccount(const QString &host, int port, const QString &user)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (PASipChannel *channel = findChannel(host, port, user))
        channel->unregister();
    return true;
}

void PASipManager::setVolume(const QString &user, int volume)
{
    std::lock_guard<std::mutex> lock(m_lock);
    const QByteArray u = utf8(user);
    for (SipChannel *channel : channels()) {
        if (channel->state() < SipChannel::StateUnregistering && SipString::equal(channel->user(), u.constData())) {
            channel->setVolume(qBound(0, volume, 200));
            return;
        }
    }
}

bool PASipManager::isRegistered(const QString &host, int port, const QString &user)
{
    std::lock_guard<std::mutex> lock(m_lock);
    PASipChannel *channel = findChannel(host, port, user);
    return channel && channel->state() == SipChannel::StateRegistered;
}

bool PASipManager::isTalking(const QString &host, int port, const QString &user)
{
    std::lock_guard<std::mutex> lock(m_lock);
    PASipChannel *channel = findChannel(host, port, user);
    if (!channel)
        return false;
    bool talking = false;
    forEachDevice(channel, [&](PASipDevice *device) { talking = talking || device->hasTalkReader(); });
    return talking;
}

void PASipManager::startTalk(const QString &host, int port, const QString &user,
                             const std::shared_ptr<KelClient> &session)
{
    std::lock_guard<std::mutex> lock(m_lock);
    PASipChannel *channel = findChannel(host, port, user);
    if (!channel)
        return;
    channel->setTalkSession(session);
    forEachDevice(channel, [&](PASipDevice *device) { device->startTalk(session); });
}

void PASipManager::stopTalk(const QString &host, int port, const QString &user, const std::shared_ptr<KelClient> &)
{
    std::lock_guard<std::mutex> lock(m_lock);
    PASipChannel *channel = findChannel(host, port, user);
    if (!channel)
        return;
    forEachDevice(channel, [](PASipDevice *device) { device->stopTalk(); });
    channel->setTalkSession(nullptr);
}

void PASipManager::startListen(const QString &host, int port, const QString &user,
                               const std::shared_ptr<KelClient> &session)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (PASipChannel *channel = findChannel(host, port, user))
        forEachDevice(channel, [&](PASipDevice *device) { device->startListen(session); });
}

void PASipManager::stopListen(const QString &host, int port, const QString &user, const std::shared_ptr<KelClient> &)
{
    std::lock_guard<std::mutex> lock(m_lock);
    if (PASipChannel *channel = findChannel(host, port, user))
        forEachDevice(channel, [](PASipDevice *device) { device->stopListen(); });
}

bool PASipManager::account(const QString &host, int port, const QString &user, Account *out)
{
    std::lock_guard<std::mutex> lock(m_lock);
    PASipChannel *channel = findChannel(host, port, user);
    if (!channel)
        return false;
    if (out) {
        out->host = QString::fromUtf8(channel->host());
        out->port = channel->port();
        out->user = QString::fromUtf8(channel->user());
        out->password = QString::fromUtf8(channel->password());
        out->sourceUrl = channel->sourceUrl();
        out->soundSource = channel->soundSource();
        out->publishPath = channel->publishPath();
        out->volume = channel->volume();
        out->state = channel->state();
        out->registered = channel->state() == SipChannel::StateRegistered;
        out->talkSession = channel->talkSession();
        channel->lock();
        out->calls = channel->calls().count();
        channel->unlock();
    }
    return true;
}

int PASipManager::accountCount()
{
    std::lock_guard<std::mutex> lock(m_lock);
    int n = 0;
    for (SipChannel *channel : channels()) {
        if (channel->state() < SipChannel::StateUnregistering)
            ++n;
    }
    return n;
}

void PASipManager::onCallInvite(SipChannel *channel, SipCall *call, SipPayloadList *audio, SipPayloadList *)
{
    // One call per caller: a new INVITE from the same number replaces the
    // old call (the new one is not in the list yet).
    channel->terminateCall(call->remoteNumber());
    call->ring();
    call->answer(SipPayload::supportedPayloads(audio), nullptr);
}

void PASipManager::onCallStarted(SipChannel *, SipCall *call)
{
    PASipCall *pa = dynamic_cast<PASipCall *>(call);
    if (!pa)
        return;
    PASipDevice *device = new PASipDevice;
    device->setPlayReceived(pa->playReceived());
    device->setSourceUrl(pa->sourceUrl());
    device->setSoundSource(pa->soundSource().id(), pa->soundSource().type());
    device->setTalkSession(pa->talkSession());
    device->setPublishPath(pa->publishPath());
    pa->setDevice(device);
    delete pa->detachDevice(); // a device of an earlier start, if any
    pa->attachDevice(device);
    PASIP_LOG("call from %s started", call->remoteNumber() ? call->remoteNumber() : "");
}

void PASipManager::onCallStopped(SipChannel *, SipCall *call)
{
    PASipCall *pa = dynamic_cast<PASipCall *>(call);
    if (!pa)
        return;
    pa->setDevice(nullptr);
    delete pa->detachDevice();
}
