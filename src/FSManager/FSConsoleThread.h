#pragma once

#include "RDThread.h"

#include <QString>
#include <atomic>

class FSManager;

// Writes the whole switch configuration, then keeps the switch process
// running: started again at once after it ended with exit code 0, otherwise
// after a forced end of this folder's switch and a wait. Every start first
// ends a switch still running from this folder, and the switch it starts is
// told this program's process id, so it ends by itself when the program is
// gone. Its stop asks the switch to shut down and ends it by force when it
// does not.
class FSConsoleThread : public RDThread
{
public:
    explicit FSConsoleThread(FSManager *manager);
    ~FSConsoleThread() override;

    // Called on the manager thread; returns once this thread has ended.
    void stop() override;

    // Process id of the switch it runs, 0 while none runs.
    qint64 switchPid() const { return m_pid.load(); }
    FSManager *manager() const { return m_manager; }

protected:
    void run() override;

private:
    // Runs the switch until it ends; its exit code, -2 when it cannot be
    // started, -1 when it crashed.
    int runSwitch(const QString &directory);

    FSManager *m_manager;
    std::atomic<qint64> m_pid{0};
};
