#pragma once

#include "RDThread.h"

#include <atomic>

class RDBasePlayerDecoder;
class RDBasePlayerDecoderFrame;
class RDBasePlayerInput;
class RDBasePlayerInputPacket;

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
    // One step of a stage's loop: takes the next packet or frame of
    // `mediaType` (RDBasePlayerInputPacket's Video or Audio) from the stage
    // before. With none queued it either waits for one (up to `timeoutMs`)
    // and says to try again, or says that stage has ended.
    static Take take(RDBasePlayerInput *source, int mediaType, int timeoutMs, RDBasePlayerInputPacket **packet);
    static Take take(RDBasePlayerDecoder *source, int mediaType, int timeoutMs, RDBasePlayerDecoderFrame **frame);

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
