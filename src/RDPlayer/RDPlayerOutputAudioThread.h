#pragma once

#include "RDPlayerStageThread.h"

class RDPlayerOutput;

// Audio thread of the output stage.
class RDPlayerOutputAudioThread : public RDPlayerStageThread
{
public:
    explicit RDPlayerOutputAudioThread(RDPlayerOutput *output);

protected:
    void run() override;

private:
    RDPlayerOutput *m_output;
};
