#include "CoreAudioRenderThread.h"

#include "CoreAudioRender.h"

void CoreAudioRenderThread::stop()
{
    RDThread::stop();
    m_owner->interruptRender();
}

void CoreAudioRenderThread::run()
{
    m_owner->renderLoop(this);
}
