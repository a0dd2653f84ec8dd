#pragma once

#include "RDThread.h"

class FSConsoleThread;

// Runs while the console thread shuts the switch down: ends this folder's
// switch process by force when the console thread has not ended after the
// grace time, and again after every further grace time.
class FSConsoleCancelThread : public RDThread
{
public:
    explicit FSConsoleCancelThread(FSConsoleThread *console);
    ~FSConsoleCancelThread() override;

protected:
    void run() override;

private:
    FSConsoleThread *m_console;
};
