#pragma once

#include <condition_variable>
#include <mutex>

// A pause between passes of a worker thread that a stop ends at once.
class VelmarStopWait
{
public:
    // Waits up to `ms`; returns early once wake() was called.
    void wait(int ms);
    // Ends the current wait and every later one.
    void wake();

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_woken = false;
};
