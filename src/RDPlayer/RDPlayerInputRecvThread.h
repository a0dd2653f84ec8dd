#pragma once

#include "RDPlayerStageThread.h"

class RDPlayerInput;

// Receive thread of the input stage: opens the source and reads packets.
class RDPlayerInputRecvThread : public RDPlayerStageThread
{
public:
    explicit RDPlayerInputRecvThread(RDPlayerInput *input);

protected:
    void run() override;

private:
    RDPlayerInput *m_input;
};
