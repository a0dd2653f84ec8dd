#include "VelmarStopWait.h"

#include <chrono>

void VelmarStopWait::wait(int ms)
{
    std::unique_lock<std::mutex> lock(m_lock);
    m_changed.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_woken; });
}

void VelmarStopWait::wake()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_woken = true;
    }
    m_changed.notify_all();
}
