#pragma once

#include <QtGlobal>

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
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
// Notices handed over to a caller are passed on, once its own are out, to
// the queue's own thread: a caller never carries the notices of a stream of
// other changes, however long that stream goes on.
//
// An observer may cause a change itself: the notice that change queues goes
// out after the one being delivered, on the delivering thread, and the
// nested call returns at once instead of waiting for itself.
class FSNoticeQueue
{
public:
    using Notice = std::function<void()>;

    FSNoticeQueue() = default;
    // Delivers what was handed over, then ends the queue's thread.
    ~FSNoticeQueue();
    FSNoticeQueue(const FSNoticeQueue &) = delete;
    FSNoticeQueue &operator=(const FSNoticeQueue &) = delete;

    // Queues `notice` and returns its place in line.
    quint64 post(Notice notice);
    // Delivers every notice up to and including `place`, in order, or hands
    // them to the thread delivering now.
    void deliverThrough(quint64 place);

private:
    // Lock held; delivers in order while the front's place is within the
    // delivering thread's reach (m_reach, raised as it goes).
    void deliver(std::unique_lock<std::mutex> &lock);
    void run();

    std::mutex m_lock;
    std::condition_variable m_handedOff;
    std::deque<std::pair<quint64, Notice>> m_queue;
    quint64 m_lastPosted = 0;
    // How far the delivering thread goes: its own notice and those of
    // changes made inside its notices.
    quint64 m_reach = 0;
    // The furthest place other threads handed over meanwhile.
    quint64 m_handedOver = 0;
    bool m_delivering = false;
    std::thread::id m_deliverer;
    bool m_queueThreadDelivers = false; // the delivery has passed to m_thread
    bool m_quit = false;
    std::thread m_thread;
};
