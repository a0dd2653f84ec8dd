#include "WSClientSendThread.h"

#include "WSClient.h"

void WSClientSendThread::stop()
{
    RDThread::stop();
    m_client->wakeSender();
    m_client->wakeForStop();
}

void WSClientSendThread::run()
{
    m_client->doSend(this);
}
