#pragma once

#include "RDThread.h"

class CoreAudioDevice;

// Hands captured packets to the observer, off the capture thread.
class CoreAudioDeviceDispatchThread : public RDThread
{
public:
    explicit CoreAudioDeviceDispatchThread(CoreAudioDevice *owner) : m_owner(owner) {}
    // Also ends the wait for the next packet.
    void stop() override;

protected:
    void run() override;

private:
    CoreAudioDevice *m_owner;
};
