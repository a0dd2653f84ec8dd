#include "WSClientReadThread.h"

#include "WSClient.h"

void WSClientReadThread::run()
{
    m_client->doRead(this);
}
