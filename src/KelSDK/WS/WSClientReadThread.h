#pragma once

#include "RDThread.h"

class WSClient;

class WSClientReadThread : public RDThread
{
public:
    explicit WSClientReadThread(WSClient *client) : m_client(client) {}

protected:
    void run() override;

private:
    WSClient *m_client;
};
