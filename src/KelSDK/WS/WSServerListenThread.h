#pragma once

#include "KelNetShim.h"

class WSServer;

class WSServerListenThread : public kelshim::RDThread
{
public:
    explicit WSServerListenThread(WSServer *server) : m_server(server) {}

protected:
    void run() override;

private:
    WSServer *m_server;
};
