#include "FSNoticeQueue.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

namespace {

// A flag one thread raises and others wait on, for at most a few seconds.
class Flag
{
public:
    void raise()
    {
        std::lock_guard<std::mutex> l(m_lock);
        m_up = true;
        m_changed.notify_all();
    }
    bool wait(int seconds = 5)
    {
        std::unique_lock<std::mutex> l(m_lock);
        return m_changed.wait_for(l, std::chrono::seconds(seconds), [this] { return m_up; });
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_up = false;
};

} // namespace

// A caller delivers its own notice and returns: the notices other threads
// handed over meanwhile go out after it, in order, without it.
TEST(FSNoticeQueueTest, ACallerDoesNotCarryTheNoticesHandedOverMeanwhile)
{
    FSNoticeQueue queue;
    Flag firstInside, firstMayEnd, callerReturned, secondOut;
    std::mutex lock;
    std::vector<int> order;
    std::thread::id callerThread, secondThread;
    bool secondSawTheCallerReturn = false;

    const quint64 first = queue.post([&] {
        firstInside.raise();
        firstMayEnd.wait();
        std::lock_guard<std::mutex> l(lock);
        order.push_back(1);
    });
    std::thread caller([&] {
        {
            std::lock_guard<std::mutex> l(lock);
            callerThread = std::this_thread::get_id();
        }
        queue.deliverThrough(first);
        callerReturned.raise();
    });
    ASSERT_TRUE(firstInside.wait());

    // Another change hands its notice over and returns at once.
    const quint64 second = queue.post([&] {
        // Holds on until the first caller is back: were the caller carrying
        // this notice, it could not be.
        const bool returned = callerReturned.wait(5);
        std::lock_guard<std::mutex> l(lock);
        secondSawTheCallerReturn = returned;
        secondThread = std::this_thread::get_id();
        order.push_back(2);
        secondOut.raise();
    });
    queue.deliverThrough(second);
    firstMayEnd.raise();

    ASSERT_TRUE(callerReturned.wait());
    caller.join();
    // The queue's own thread delivers the second notice.
    EXPECT_TRUE(secondOut.wait(10));
    std::lock_guard<std::mutex> l(lock);
    EXPECT_EQ(order, std::vector<int>({1, 2}));
    EXPECT_TRUE(secondSawTheCallerReturn);
    EXPECT_NE(secondThread, callerThread);
    EXPECT_NE(secondThread, std::this_thread::get_id());
}

// Notices handed over still go out when the queue goes away.
TEST(FSNoticeQueueTest, HandedOverNoticesGoOutBeforeTheQueueEnds)
{
    std::atomic<int> delivered{0};
    {
        FSNoticeQueue queue;
        Flag firstInside, firstMayEnd;
        const quint64 first = queue.post([&] {
            firstInside.raise();
            firstMayEnd.wait();
            ++delivered;
        });
        std::thread caller([&] { queue.deliverThrough(first); });
        ASSERT_TRUE(firstInside.wait());
        quint64 last = 0;
        for (int i = 0; i < 10; ++i)
            last = queue.post([&] { ++delivered; });
        queue.deliverThrough(last);
        firstMayEnd.raise();
        caller.join();
    }
    EXPECT_EQ(delivered.load(), 11);
}
