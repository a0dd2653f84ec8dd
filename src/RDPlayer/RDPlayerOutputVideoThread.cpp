#include "RDPlayerOutputVideoThread.h"

#include "RDPlayerOutput.h"

RDPlayerOutputVideoThread::RDPlayerOutputVideoThread(RDPlayerOutput *output) : m_output(output)
{
    setName("OutputVideo");
}

void RDPlayerOutputVideoThread::run()
{
    m_output->displayVideo(this);
}
