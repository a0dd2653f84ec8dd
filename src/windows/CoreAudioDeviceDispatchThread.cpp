#include "CoreAudioDeviceDispatchThread.h"

#include "CoreAudioDevice.h"

void CoreAudioDeviceDispatchThread::stop()
{
    RDThread::stop();
    m_owner->wakeDispatch();
}

void CoreAudioDeviceDispatchThread::run()
{
    m_owner->dispatchLoop(this);
}
