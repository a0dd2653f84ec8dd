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

    enum class Take { Item, Again, Ended };
    // One step of a stage's loop: takes the next item from `source` with
    // `pop`. With none queued it either waits for one (up to `timeoutMs`,
    // with `wait`) and says to try again, or says the source has ended. The
    // source is asked whether it runs before taking: once it has ended, an
    // empty queue means that every item has been taken.
    template <typename Source, typename Item>
    static Take take(Source *source, int (Source::*pop)(Item **), void (Source::*wait)(int, int), int mediaType,
                     int timeoutMs, Item **item)
    {
        const bool running = source->isRunning();
        if ((source->*pop)(item) >= 0)
            return Take::Item;
        if (!running)
            return Take::Ended;
        (source->*wait)(mediaType, timeoutMs);
        return Take::Again;
    }
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
