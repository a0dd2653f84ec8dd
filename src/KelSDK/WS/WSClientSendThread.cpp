#include "WSClientSendThread.h"

#include "WSClient.h"

void WSClientSendThread::stop()
{
    RDThread::stop();
    m_client->wakeSender();
}

void WSClientSendThread::run()
{
    m_client->doSend(this);
}
