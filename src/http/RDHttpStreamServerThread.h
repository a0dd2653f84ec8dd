#pragma once

#include "RDThread.h"

class RDHttpStreamServer;

// The accept thread "RDHttpServer".
class RDHttpStreamServerThread : public RDThread
{
public:
    explicit RDHttpStreamServerThread(RDHttpStreamServer *server) : m_server(server) {}
    ~RDHttpStreamServerThread() override = default;
    void stop() override;

protected:
    void run() override;

private:
    RDHttpStreamServer *m_server;
};
