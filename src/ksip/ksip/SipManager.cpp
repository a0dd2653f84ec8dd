#include "SipManager.h"

SipManager::SipManager() = default;

SipManager::~SipManager() = default;

void SipManager::lock()
{
    m_lock.lock();
}

void SipManager::unlock()
{
    m_lock.unlock();
}
