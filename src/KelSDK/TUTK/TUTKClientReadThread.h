#pragma once

#include "RDThread.h"

class TUTKClient;

// Runs TUTKClient::doRead.
class TUTKClientReadThread : public RDThread
{
public:
    explicit TUTKClientReadThread(TUTKClient *owner) : m_owner(owner) {}

protected:
    void run() override;

private:
    TUTKClient *m_owner;
};
