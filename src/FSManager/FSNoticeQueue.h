#pragma once

#include <QtGlobal>

#include <deque>
#include <functional>
#include <mutex>
#include <utility>

// Notices to observers, queued in the order of the changes they tell of and
// delivered without the lock that ordered those changes. A change queues its
// notice while it still holds its own lock, releases that lock, and then
// delivers through its notice: every notice queued before it goes out
// first, one at a time, so observers see the changes in the order they were
// made, and a slow observer holds up only the notices behind it, never the
// changes themselves. One thread delivers at a time: a caller that finds no
// delivery running delivers up to its own notice and returns once it has
// gone out; a caller that finds one running hands its notice over to it and
// returns at once, so no change waits for the observers of other changes.
//
// An observer may cause a change itself: the notice that change queues goes
// out after the one being delivered, on the delivering thread, and the
// nested call returns at once instead of waiting for itself.
class FSNoticeQueue
{
public:
    using Notice = std::function<void()>;

    FSNoticeQueue() = default;
    FSNoticeQueue(const FSNoticeQueue &) = delete;
    FSNoticeQueue &operator=(const FSNoticeQueue &) = delete;

    // Queues `notice` and returns its place in line.
    quint64 post(Notice notice);
    // Delivers every notice up to and including `place`, in order, or hands
    // them to the thread delivering now.
    void deliverThrough(quint64 place);

private:
    std::mutex m_lock;
    std::deque<std::pair<quint64, Notice>> m_queue;
    quint64 m_lastPosted = 0;
    quint64 m_lastDelivered = 0;
    // The place the delivering thread goes on to (raised by the calls
    // handing their notices over).
    quint64 m_target = 0;
    bool m_delivering = false;
};
