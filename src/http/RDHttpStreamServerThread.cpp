#include "RDHttpStreamServerThread.h"

#include "RDHttpStreamServer.h"
#include "RDTcpSocketServer.h"

void RDHttpStreamServerThread::stop()
{
    RDThread::stop();
    // Wakes the accept loop's wait at once; the loop then stops every
    // connection.
    m_server->m_wake.signal();
}

void RDHttpStreamServerThread::run()
{
    m_server->acceptLoop(this);
}
