#pragma once

#include "KelNetShim.h"

class WSClient;

class WSClientReadThread : public kelshim::RDThread
{
public:
    explicit WSClientReadThread(WSClient *client) : m_client(client) {}

protected:
    void run() override;

private:
    WSClient *m_client;
};
