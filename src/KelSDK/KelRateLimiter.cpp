#include "KelRateLimiter.h"

KelRateLimiter::KelRateLimiter(int count, double windowSeconds) : m_count(count), m_window(windowSeconds)
{
}

void KelRateLimiter::setCount(int count)
{
    m_count = count;
}

bool KelRateLimiter::allow(double now)
{
    while (!m_times.empty() && now - m_times.front() >= m_window)
        m_times.pop_front();
    if (int(m_times.size()) >= m_count)
        return false;
    m_times.push_back(now);
    return true;
}
