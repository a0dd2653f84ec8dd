#include "SipEventParserThread.h"

#include "SipManager.h"
#include "SipStack.h"

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
        SipStackEventPtr event = m_stack->eventWait(0, 100);
        if (event) {
            m_manager->parseEvent(event.get());
        }
    }
}
