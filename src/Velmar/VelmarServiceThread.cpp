#include "VelmarServiceThread.h"

#include "FSManager.h"
#include "RDLog.h"
#include "Velmar.h"

VelmarServiceThread::VelmarServiceThread(Velmar *owner)
    : m_owner(owner)
{
    setName("VelmarServiceThread");
}

void VelmarServiceThread::requestRestart()
{
    {
        std::lock_guard<std::mutex> guard(m_lock);
        m_pending = true;
    }
    m_wake.notify_all();
}

bool VelmarServiceThread::isRestartPending() const
{
    std::lock_guard<std::mutex> guard(m_lock);
    return m_pending || m_running;
}

void VelmarServiceThread::stop()
{
    {
        // Taken so that the flag cannot be set between the run loop's test
        // and its wait.
        std::lock_guard<std::mutex> guard(m_lock);
        RDThread::stop();
    }
    m_wake.notify_all();
}

void VelmarServiceThread::run()
{
    while (true) {
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_wake.wait(guard, [this] { return isStopped() || m_pending; });
            if (isStopped())
                return;
            m_pending = false;
            m_running = true;
        }
        // A report that came in while the switch was going down again is
        // stale: the next ready report brings the services back.
        FSManager *manager = FSManager::instance();
        if (manager && manager->isReady())
            m_owner->restartServices();
        else
            RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "switch not ready, services not restarted\n");
        std::lock_guard<std::mutex> guard(m_lock);
        m_running = false;
    }
}
