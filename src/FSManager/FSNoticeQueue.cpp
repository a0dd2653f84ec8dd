#include "FSNoticeQueue.h"

#include <algorithm>

FSNoticeQueue::~FSNoticeQueue()
{
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_quit = true;
    }
    m_handedOff.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

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
        // This thread further up its stack (a change made from inside an
        // observer): the loop below goes on to this notice after the ones
        // before it. Another thread: it passes this notice on. Waiting for
        // it would only hold up the caller behind every observer of other
        // changes.
        if (m_deliverer == std::this_thread::get_id())
            m_reach = std::max(m_reach, place);
        else
            m_handedOver = std::max(m_handedOver, place);
        return;
    }
    if (m_queue.empty() || m_queue.front().first > place)
        return;
    m_delivering = true;
    m_deliverer = std::this_thread::get_id();
    m_reach = place;
    deliver(lock);
    if (!m_queue.empty() && m_queue.front().first <= m_handedOver) {
        m_queueThreadDelivers = true;
        if (!m_thread.joinable())
            m_thread = std::thread([this] { run(); });
        lock.unlock();
        m_handedOff.notify_all();
        return;
    }
    m_delivering = false;
}

void FSNoticeQueue::deliver(std::unique_lock<std::mutex> &lock)
{
    while (!m_queue.empty() && m_queue.front().first <= m_reach) {
        std::pair<quint64, Notice> next = std::move(m_queue.front());
        m_queue.pop_front();
        lock.unlock();
        next.second();
        // Destroyed without the lock: a notice may hold what its
        // destruction releases.
        next.second = nullptr;
        lock.lock();
    }
}

void FSNoticeQueue::run()
{
    std::unique_lock<std::mutex> lock(m_lock);
    for (;;) {
        m_handedOff.wait(lock, [this] { return m_quit || m_queueThreadDelivers; });
        if (!m_queueThreadDelivers)
            return;
        m_deliverer = std::this_thread::get_id();
        // Everything handed over so far, and what is handed over while
        // this runs.
        while (!m_queue.empty() && m_queue.front().first <= std::max(m_reach, m_handedOver)) {
            m_reach = std::max(m_reach, m_handedOver);
            deliver(lock);
        }
        m_queueThreadDelivers = false;
        m_delivering = false;
    }
}
