#include "PlayerStatusLog.h"

#include <algorithm>
#include <chrono>

void PlayerStatusLog::onPlayerStatusChanged(int status, double current, double total)
{
    add(status, current, total);
}

void PlayerStatusLog::onRecorderStatusChanged(RDPlayerRecorder *, int status, double current, double total)
{
    add(status, current, total);
}

void PlayerStatusLog::add(int status, double current, double total)
{
    std::lock_guard<std::mutex> guard(m_mutex);
    m_entries.push_back({status, current, total});
    m_changed.notify_all();
}

bool PlayerStatusLog::waitFor(int status, double seconds)
{
    std::unique_lock<std::mutex> guard(m_mutex);
    return m_changed.wait_for(guard, std::chrono::duration<double>(seconds), [&] {
        return std::any_of(m_entries.begin(), m_entries.end(), [&](const Entry &e) { return e.status == status; });
    });
}

int PlayerStatusLog::count(int status) const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return int(std::count_if(m_entries.begin(), m_entries.end(), [&](const Entry &e) { return e.status == status; }));
}

std::vector<PlayerStatusLog::Entry> PlayerStatusLog::entries() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    return m_entries;
}

std::vector<int> PlayerStatusLog::statuses() const
{
    std::lock_guard<std::mutex> guard(m_mutex);
    std::vector<int> result;
    for (const Entry &e : m_entries)
        result.push_back(e.status);
    return result;
}
