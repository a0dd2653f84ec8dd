#include "SipEventParserThread.h"

#include "SipManager.h"
#include "SipStack.h"

#include <algorithm>

SipEventParserThread::SipEventParserThread(SipManager *manager, SipStack *stack)
    : m_manager(manager), m_stack(stack)
{
    setName("SipEventParserThread");
}

void SipEventParserThread::run()
{
    int64_t nextHousekeeping = m_manager->currentMilliseconds() + SipManager::kHousekeepingMs;
    while (!isStopped()) {
        const int64_t now = m_manager->currentMilliseconds();
        // A clock set back by more than one pass does not hold the pass off.
        if (now > nextHousekeeping || now < nextHousekeeping - 2 * SipManager::kHousekeepingMs) {
            m_manager->housekeeping();
            nextHousekeeping = m_manager->currentMilliseconds() + SipManager::kHousekeepingMs;
        }
        // Idle, the thread sleeps until the next pass: an event or a stop
        // (SipManager::release interrupts the wait) wakes it at once.
        const int64_t untilPass = nextHousekeeping - m_manager->currentMilliseconds();
        const int waitMs = int(std::max<int64_t>(1, std::min<int64_t>(untilPass, SipManager::kHousekeepingMs)));
        SipStackEventPtr event = m_stack->eventWait(0, waitMs);
        if (event) {
            m_manager->parseEvent(event.get());
        }
    }
}
