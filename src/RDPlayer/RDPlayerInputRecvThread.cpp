#include "RDPlayerInputRecvThread.h"

#include "RDPlayerInput.h"

RDPlayerInputRecvThread::RDPlayerInputRecvThread(RDPlayerInput *input) : m_input(input)
{
    setName("PlayerInput");
}

void RDPlayerInputRecvThread::run()
{
    m_input->doRecv();
}
