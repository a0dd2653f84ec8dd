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
    if (m_delivering && m_deliverer == std::this_thread::get_id()) {
        // Called from inside an observer: the loop below, further up this
        // thread's stack, goes on to this notice after the current one.
        m_target = std::max(m_target, place);
        return;
    }
    while (m_lastDelivered < place) {
        if (m_delivering) {
            m_delivered.wait(lock);
            continue;
        }
        m_delivering = true;
        m_deliverer = std::this_thread::get_id();
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
            m_delivered.notify_all();
        }
        m_delivering = false;
        m_deliverer = std::thread::id();
        m_delivered.notify_all();
    }
}
