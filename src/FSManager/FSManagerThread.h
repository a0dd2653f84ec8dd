#pragma once

#include "RDThread.h"

class FSManager;

// The supervision thread: starts the console thread, waits until the switch
// answers, tells the observers, then makes one supervision pass every 500 ms
// until stopped, and on the way out shuts the switch down.
class FSManagerThread : public RDThread
{
public:
    explicit FSManagerThread(FSManager *manager);
    ~FSManagerThread() override;

protected:
    void run() override;

private:
    FSManager *m_manager;
};
