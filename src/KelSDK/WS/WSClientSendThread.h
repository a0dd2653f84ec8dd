#pragma once

#include "RDThread.h"

class WSClient;

class WSClientSendThread : public RDThread
{
public:
    explicit WSClientSendThread(WSClient *client) : m_client(client) {}
    // Also wakes the thread from its wait for queued frames.
    void stop() override;

protected:
    void run() override;

private:
    WSClient *m_client;
};
