#pragma once

#include "RDThread.h"

class SipManager;
class SipStack;

// The manager's event thread, named "SipEventParserThread": it waits for
// stack events (at most 100 ms at a time, so a stop is seen within that) and
// hands each to the manager, and every 2 s of the manager's clock runs the
// manager's housekeeping pass.
class SipEventParserThread : public RDThread
{
public:
    SipEventParserThread(SipManager *manager, SipStack *stack);

protected:
    void run() override;

private:
    SipManager *m_manager;
    SipStack *m_stack;
};
