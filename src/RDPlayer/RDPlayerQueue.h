#pragma once

#include "RDThreadLocker.h"

#include <QMutex>
#include <QWaitCondition>

#include <deque>

// First-in first-out list of owned items shared by two stage threads, with a
// count and a lock of its own. Takers wait on the "item added" event and
// producers on the "item taken" event instead of polling; wake() ends every
// wait at once (a stop or the end of the producer).
template <typename T>
class RDPlayerQueue
{
public:
    RDPlayerQueue() = default;
    ~RDPlayerQueue() { clear(); }

    void push(T *item)
    {
        QMutexLocker guard(m_locker.mutex());
        m_items.push_back(item);
        m_added.wakeAll();
    }

    // 0 and the oldest item, or -1 when the queue is empty.
    int pop(T **item)
    {
        QMutexLocker guard(m_locker.mutex());
        if (m_items.empty()) {
            *item = nullptr;
            return -1;
        }
        *item = m_items.front();
        m_items.pop_front();
        m_taken.wakeAll();
        return 0;
    }

    // pop() on `queue`; -1 and no item when there is no queue.
    static int popFrom(RDPlayerQueue *queue, T **item)
    {
        if (!queue) {
            *item = nullptr;
            return -1;
        }
        return queue->pop(item);
    }

    int count() const
    {
        QMutexLocker guard(m_locker.mutex());
        return int(m_items.size());
    }

    // Deletes every queued item.
    void clear()
    {
        std::deque<T *> items;
        {
            QMutexLocker guard(m_locker.mutex());
            items.swap(m_items);
            m_taken.wakeAll();
        }
        for (T *item : items)
            delete item;
    }

    // Returns when the queue holds an item, wake() was called or `timeoutMs`
    // passed; true when an item is there.
    bool waitForItem(int timeoutMs)
    {
        QMutexLocker guard(m_locker.mutex());
        if (m_items.empty() && !m_woken)
            m_added.wait(m_locker.mutex(), timeoutMs);
        m_woken = false;
        return !m_items.empty();
    }

    // Returns when the queue holds no more than `limit` items, wake() was
    // called or `timeoutMs` passed; true when the queue is within the limit.
    bool waitWithin(int limit, int timeoutMs)
    {
        QMutexLocker guard(m_locker.mutex());
        if (int(m_items.size()) > limit && !m_woken)
            m_taken.wait(m_locker.mutex(), timeoutMs);
        m_woken = false;
        return int(m_items.size()) <= limit;
    }

    // Ends the current wait (or the next one, when nobody waits yet).
    void wake()
    {
        QMutexLocker guard(m_locker.mutex());
        m_woken = true;
        m_added.wakeAll();
        m_taken.wakeAll();
    }

private:
    mutable RDThreadLocker m_locker;
    QWaitCondition m_added;
    QWaitCondition m_taken;
    std::deque<T *> m_items;
    bool m_woken = false;

    RDPlayerQueue(const RDPlayerQueue &) = delete;
    RDPlayerQueue &operator=(const RDPlayerQueue &) = delete;
};
