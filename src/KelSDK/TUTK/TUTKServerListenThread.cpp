#include "TUTKServerListenThread.h"

#include "TUTKServer.h"

void TUTKServerListenThread::stop()
{
    RDThread::stop();
    m_owner->abortOpening();
}

void TUTKServerListenThread::run()
{
    m_owner->doListen(this);
}
