#pragma once

#include "RDThread.h"

class TUTKServer;

// Runs TUTKServer::doListen.
class TUTKServerListenThread : public RDThread
{
public:
    explicit TUTKServerListenThread(TUTKServer *owner) : m_owner(owner) {}
    // Also ends an AV start the thread is waiting in.
    void stop() override;

protected:
    void run() override;

private:
    TUTKServer *m_owner;
};
