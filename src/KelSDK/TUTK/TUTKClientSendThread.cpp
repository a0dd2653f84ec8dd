#include "TUTKClientSendThread.h"

#include "TUTKClient.h"

void TUTKClientSendThread::stop()
{
    RDThread::stop();
    m_owner->wakeSender();
}

void TUTKClientSendThread::run()
{
    m_owner->doSend(this);
}
