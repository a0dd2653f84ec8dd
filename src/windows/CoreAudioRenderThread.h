#pragma once

#include "RDThread.h"

class CoreAudioRender;

// Opens the playback endpoint and fills it until stopped.
class CoreAudioRenderThread : public RDThread
{
public:
    explicit CoreAudioRenderThread(CoreAudioRender *owner) : m_owner(owner) {}
    // Also ends a write that waits for room in the endpoint.
    void stop() override;

protected:
    void run() override;

private:
    CoreAudioRender *m_owner;
};
