#pragma once

#include "RDPlayerStageThread.h"

class RDPlayerOutput;

// Video thread of the output stage.
class RDPlayerOutputVideoThread : public RDPlayerStageThread
{
public:
    explicit RDPlayerOutputVideoThread(RDPlayerOutput *output);

protected:
    void run() override;

private:
    RDPlayerOutput *m_output;
};
