#include "WSServerListenThread.h"

#include "WSServer.h"

void WSServerListenThread::run()
{
    m_server->doListen(this);
}
