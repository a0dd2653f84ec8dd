#include "RDPlayerRecoderThread.h"

#include "RDPlayerRecorder.h"

RDPlayerRecoderThread::RDPlayerRecoderThread(RDPlayerRecorder *recorder) : m_recorder(recorder)
{
    setName("PlayerRecord");
}

void RDPlayerRecoderThread::run()
{
    m_recorder->doRecord(this);
}
