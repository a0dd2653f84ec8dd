#pragma once

#include "RDThread.h"

class TUTKClient;

// Runs TUTKClient::doSend.
class TUTKClientSendThread : public RDThread
{
public:
    explicit TUTKClientSendThread(TUTKClient *owner) : m_owner(owner) {}
    // Also wakes the thread from its wait for queued items.
    void stop() override;

protected:
    void run() override;

private:
    TUTKClient *m_owner;
};
