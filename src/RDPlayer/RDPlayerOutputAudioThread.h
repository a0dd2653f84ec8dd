#pragma once

#include "RDThread.h"

class RDPlayerOutput;

// Audio thread of the output stage.
class RDPlayerOutputAudioThread : public RDThread
{
public:
    explicit RDPlayerOutputAudioThread(RDPlayerOutput *output);

protected:
    void run() override;

private:
    RDPlayerOutput *m_output;
};
