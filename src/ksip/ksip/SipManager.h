#pragma once

#include <mutex>

// Base of the program's SIP user agent. For now it carries only the lock on
// the account list; the SIP stack, its event thread and the channels are
// added when real SIP replaces the in-memory accounts of PASipManager.
class SipManager
{
public:
    SipManager();
    virtual ~SipManager();

    SipManager(const SipManager &) = delete;
    SipManager &operator=(const SipManager &) = delete;

    // The lock on the account list: a plain, non-recursive mutex. A thread
    // that holds it must not take it again.
    void lock();
    void unlock();

protected:
    std::mutex m_lock;
};
