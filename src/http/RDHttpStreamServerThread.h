#pragma once

#include "HttpShim.h"

class RDHttpStreamServer;

// The accept thread "RDHttpServer".
class RDHttpStreamServerThread : public httpshim::Thread
{
public:
    explicit RDHttpStreamServerThread(RDHttpStreamServer *server) : m_server(server) {}
    ~RDHttpStreamServerThread() override = default;
    void stop() override;
    void run() override;

private:
    RDHttpStreamServer *m_server;
};
