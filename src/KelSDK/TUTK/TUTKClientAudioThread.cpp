#include "TUTKClientAudioThread.h"

#include "TUTKClient.h"

void TUTKClientAudioThread::run()
{
    m_owner->doReadAudio(this);
}
