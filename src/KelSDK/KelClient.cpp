#include "KelClient.h"

#include "KelClientObserver.h"

#include <chrono>

KelClient::KelClient() = default;

KelClient::~KelClient() = default;

void KelClient::sendText(const std::string &text)
{
    queueData(KelPacket(text.data(), int(text.size())));
}

void KelClient::send(const void *data, int length)
{
    queueData(KelPacket(data, length));
}

void KelClient::setSelf()
{
    std::lock_guard<std::mutex> lock(m_selfMutex);
    if (!m_self)
        m_self = std::shared_ptr<KelClient>(this);
}

void KelClient::resetSelf()
{
    std::shared_ptr<KelClient> released;
    {
        std::lock_guard<std::mutex> lock(m_selfMutex);
        released.swap(m_self);
    }
    // `released` may be the last handle: this object can be gone after the
    // next line, so nothing here touches a member afterwards.
}

std::shared_ptr<KelClient> KelClient::getSelf() const
{
    std::lock_guard<std::mutex> lock(m_selfMutex);
    return m_self;
}

void KelClient::setObserver(KelClientObserver *observer)
{
    m_observer = observer;
}

bool KelClient::isAuthorized() const
{
    return m_authorized.load();
}

void KelClient::setAuthorized(bool authorized)
{
    m_authorized.store(authorized);
}

void KelClient::notifyMessage(const KelPacket &packet)
{
    if (m_observer)
        m_observer->onMessage(getSelf(), packet);
}

uint64_t KelClient::audioSequence() const
{
    std::lock_guard<std::mutex> lock(m_audioWaitMutex);
    return m_audioSequence;
}

bool KelClient::waitForAudio(uint64_t seen, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_audioWaitMutex);
    return m_audioWait.wait_for(lock, std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0),
                                [&] { return m_audioSequence != seen; });
}

void KelClient::notifyAudio()
{
    {
        std::lock_guard<std::mutex> lock(m_audioWaitMutex);
        ++m_audioSequence;
    }
    m_audioWait.notify_all();
}
