#include "RDHttpStreamServerThread.h"

#include "RDHttpStreamServer.h"
#include "RDTcpSocketServer.h"

void RDHttpStreamServerThread::stop()
{
    RDThread::stop();
    // Wakes the accept wait at once; the loop then stops every connection.
    if (m_server->m_serverSocket)
        m_server->m_serverSocket->closeHandle();
}

void RDHttpStreamServerThread::run()
{
    m_server->acceptLoop(this);
}
