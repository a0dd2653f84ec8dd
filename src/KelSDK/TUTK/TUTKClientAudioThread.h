#pragma once

#include "RDThread.h"

class TUTKClient;

// Runs TUTKClient::doReadAudio.
class TUTKClientAudioThread : public RDThread
{
public:
    explicit TUTKClientAudioThread(TUTKClient *owner) : m_owner(owner) {}

protected:
    void run() override;

private:
    TUTKClient *m_owner;
};
