#pragma once

#include "RDThread.h"

class CoreAudioDevice;

// Opens the capture endpoint and reads it until stopped.
class CoreAudioDeviceReadThread : public RDThread
{
public:
    explicit CoreAudioDeviceReadThread(CoreAudioDevice *owner) : m_owner(owner) {}
    // Also ends a read that waits for the endpoint.
    void stop() override;

protected:
    void run() override;

private:
    CoreAudioDevice *m_owner;
};
