#pragma once

#include "RDThread.h"

class WSClient;

class WSClientReadThread : public RDThread
{
public:
    explicit WSClientReadThread(WSClient *client) : m_client(client) {}
    // Also wakes the thread from its wait on the socket.
    void stop() override;

protected:
    void run() override;

private:
    WSClient *m_client;
};
