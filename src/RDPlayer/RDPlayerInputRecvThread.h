#pragma once

#include "RDThread.h"

class RDPlayerInput;

// Receive thread of the input stage: opens the source and reads packets.
class RDPlayerInputRecvThread : public RDThread
{
public:
    explicit RDPlayerInputRecvThread(RDPlayerInput *input);

protected:
    void run() override;

private:
    RDPlayerInput *m_input;
};
