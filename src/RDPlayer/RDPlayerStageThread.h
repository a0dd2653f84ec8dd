#pragma once

#include "RDThread.h"

#include <atomic>

// Base of the player's stage threads: a thread that says when its work is
// done, before it returns, so that the next stage can tell "nothing more
// will come" from "nothing yet" without waiting for the thread to end.
class RDPlayerStageThread : public RDThread
{
public:
    // Running, not told to stop, and its work not yet done.
    bool isActive() const { return !isStopped() && !m_finished && isRunning(); }
    void markFinished() { m_finished = true; }

    static bool isActive(const RDPlayerStageThread *thread) { return thread && thread->isActive(); }
    // Waits for a thread that was told to stop, deletes it and clears the pointer.
    template <typename T>
    static void join(T *&thread)
    {
        if (!thread)
            return;
        thread->wait();
        delete thread;
        thread = nullptr;
    }

private:
    std::atomic<bool> m_finished{false};
};
