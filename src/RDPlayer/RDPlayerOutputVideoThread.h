#pragma once

#include "RDThread.h"

class RDPlayerOutput;

// Video thread of the output stage.
class RDPlayerOutputVideoThread : public RDThread
{
public:
    explicit RDPlayerOutputVideoThread(RDPlayerOutput *output);

protected:
    void run() override;

private:
    RDPlayerOutput *m_output;
};
