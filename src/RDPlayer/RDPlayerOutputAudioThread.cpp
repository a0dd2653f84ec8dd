#include "RDPlayerOutputAudioThread.h"

#include "RDPlayerOutput.h"

RDPlayerOutputAudioThread::RDPlayerOutputAudioThread(RDPlayerOutput *output) : m_output(output)
{
    setName("OutputAudio");
}

void RDPlayerOutputAudioThread::run()
{
    m_output->displayAudio(this);
}
