#pragma once

#include "RDThread.h"

class WSServer;

class WSServerListenThread : public RDThread
{
public:
    explicit WSServerListenThread(WSServer *server) : m_server(server) {}

protected:
    void run() override;

private:
    WSServer *m_server;
};
