#include "CoreAudioDeviceReadThread.h"

#include "CoreAudioDevice.h"

void CoreAudioDeviceReadThread::stop()
{
    RDThread::stop();
    m_owner->interruptCapture();
}

void CoreAudioDeviceReadThread::run()
{
    m_owner->captureLoop(this);
}
