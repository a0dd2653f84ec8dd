#include "FSNoticeQueue.h"

#include <algorithm>

quint64 FSNoticeQueue::post(Notice notice)
{
    std::lock_guard<std::mutex> lock(m_lock);
    m_queue.emplace_back(++m_lastPosted, std::move(notice));
    return m_lastPosted;
}

void FSNoticeQueue::deliverThrough(quint64 place)
{
    std::unique_lock<std::mutex> lock(m_lock);
    if (m_delivering) {
        // Another thread delivers, or this one further up its stack (a
        // change made from inside an observer): the loop below goes on to
        // this notice after the ones before it. Waiting for it would only
        // hold up the caller behind every observer of other changes.
        m_target = std::max(m_target, place);
        return;
    }
    if (m_lastDelivered >= place)
        return;
    m_delivering = true;
    m_target = place;
    while (m_lastDelivered < m_target && !m_queue.empty()) {
        std::pair<quint64, Notice> next = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        next.second();
        // Destroyed without the lock: a notice may hold what its
        // destruction releases.
        next.second = nullptr;
        lock.lock();
        m_lastDelivered = next.first;
    }
    m_delivering = false;
}
