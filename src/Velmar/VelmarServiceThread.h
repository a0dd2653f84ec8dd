#pragma once

#include "RDThread.h"

#include <condition_variable>
#include <mutex>

class Velmar;

// Carries out the service restarts that the switch manager's ready reports
// ask for, on a thread of its own, so that no lock of the switch manager is
// held while services stop and their threads are joined. Requests that come
// in while a restart runs fold into one more restart.
class VelmarServiceThread : public RDThread
{
public:
    explicit VelmarServiceThread(Velmar *owner);

    void requestRestart();
    bool isRestartPending() const;
    // Sets the stop flag and wakes the thread.
    void stop() override;

protected:
    void run() override;

private:
    Velmar *m_owner;
    mutable std::mutex m_lock;
    std::condition_variable m_wake;
    bool m_pending = false;
    bool m_running = false;
};
