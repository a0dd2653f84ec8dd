#include "FSSipAccountQueue.h"

#include <chrono>
#include <utility>

FSSipAccountQueue::~FSSipAccountQueue()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_quit = true;
    }
    m_changed.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

std::deque<FSSipAccountQueue::Queued>::iterator FSSipAccountQueue::lastFor(const QString &accounts)
{
    for (auto it = m_changes.end(); it != m_changes.begin();) {
        --it;
        if (!it->dropped && it->accounts == accounts)
            return it;
    }
    return m_changes.end();
}

void FSSipAccountQueue::post(Change change, const QString &accounts, Kind kind)
{
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard<std::mutex> lock(m_lock);
        if (kind == Kind::SignOut && !accounts.isEmpty()) {
            auto last = lastFor(accounts);
            if (last != m_changes.end() && last->kind == Kind::SignIn) {
                last->dropped = true;
                last = lastFor(accounts);
            }
            if (last != m_changes.end() && last->kind == Kind::SignOut)
                return;
        }
        // Changes already waiting, or one being carried out, mean the thread
        // is awake and comes to this one without a wake-up.
        const bool awake = !m_changes.empty() || m_running;
        m_changes.push_back({std::move(change), accounts, kind, now});
        if (awake)
            return;
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
    }
    m_changed.notify_all();
}

bool FSSipAccountQueue::waitIdle(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_lock);
    return m_changed.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                              [this] { return m_changes.empty() && !m_running; });
}

void FSSipAccountQueue::run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_changed.wait(lock, [this] { return m_quit || !m_changes.empty(); });
        if (m_changes.empty())
            return;
        const Queued &front = m_changes.front();
        if (!m_quit && !front.dropped && front.kind != Kind::Other) {
            // Still settling: a later post may yet drop it. Posts wake
            // nobody while changes wait, so this wait ends on time or at
            // shut-down; then the front is looked at again.
            const auto due = front.posted + m_settle;
            if (std::chrono::steady_clock::now() < due) {
                m_changed.wait_until(lock, due, [this] { return m_quit; });
                continue;
            }
        }
        Change change = std::move(m_changes.front().change);
        const bool dropped = m_changes.front().dropped;
        m_changes.pop_front();
        m_running = true;
        lock.unlock();
        if (!dropped)
            change();
        change = nullptr; // what it captured goes before the queue counts as idle
        lock.lock();
        m_running = false;
        m_changed.notify_all();
    }
}
