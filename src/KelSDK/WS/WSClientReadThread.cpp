#include "WSClientReadThread.h"

#include "WSClient.h"

void WSClientReadThread::stop()
{
    RDThread::stop();
    m_client->wakeForStop();
}

void WSClientReadThread::run()
{
    m_client->doRead(this);
    m_client->readEnded(this);
}
