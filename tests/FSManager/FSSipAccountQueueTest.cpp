#include "FSSipAccountQueue.h"

#include "TestSupport.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using Kind = FSSipAccountQueue::Kind;

// Holds the queue's thread inside a change until released, so that what is
// posted meanwhile waits in the queue.
class Gate
{
public:
    FSSipAccountQueue::Change blocker()
    {
        return [this] {
            std::unique_lock<std::mutex> l(m_lock);
            m_inside = true;
            m_changed.notify_all();
            m_changed.wait_for(l, std::chrono::seconds(10), [this] { return m_open; });
        };
    }
    bool waitInside()
    {
        std::unique_lock<std::mutex> l(m_lock);
        return m_changed.wait_for(l, std::chrono::seconds(5), [this] { return m_inside; });
    }
    void open()
    {
        std::lock_guard<std::mutex> l(m_lock);
        m_open = true;
        m_changed.notify_all();
    }

private:
    std::mutex m_lock;
    std::condition_variable m_changed;
    bool m_inside = false;
    bool m_open = false;
};

class FSSipAccountQueueTest : public ::testing::Test
{
protected:
    FSSipAccountQueue::Change note(const QString &what)
    {
        return [this, what] {
            std::lock_guard<std::mutex> l(m_lock);
            m_done << what;
            m_threads.push_back(std::this_thread::get_id());
        };
    }
    QStringList done()
    {
        std::lock_guard<std::mutex> l(m_lock);
        return m_done;
    }

    std::mutex m_lock;
    QStringList m_done;
    std::vector<std::thread::id> m_threads;
};

} // namespace

// What waits behind a busy agent is carried out in order, on the queue's
// thread; a zone started and stopped meanwhile leaves only one sign-out
// behind, and what came between a sign-in and its sign-out keeps both.
TEST_F(FSSipAccountQueueTest, WaitingChangesRunInOrderAndStartStopPairsCollapse)
{
    FSSipAccountQueue queue;
    Gate gate;
    queue.post(gate.blocker());
    ASSERT_TRUE(gate.waitInside());

    queue.post(note("in A1"), "A", Kind::SignIn);
    queue.post(note("out A1"), "A", Kind::SignOut); // drops "in A1"
    queue.post(note("in A2"), "A", Kind::SignIn);
    queue.post(note("out A2"), "A", Kind::SignOut); // drops "in A2", "out A1" already waits
    queue.post(note("in B"), "B", Kind::SignIn);
    queue.post(note("talk B"), "B");
    queue.post(note("out B"), "B", Kind::SignOut); // "talk B" came last: all stay
    queue.post(note("in C"), "C", Kind::SignIn);
    queue.post(note("volume"), "");
    queue.post(note("in A3"), "A", Kind::SignIn); // the zone runs again: stays

    EXPECT_FALSE(queue.waitIdle(50)) << "the blocked change is still running";
    gate.open();
    ASSERT_TRUE(queue.waitIdle(5000));
    EXPECT_EQ(done(), QStringList({"out A1", "in B", "talk B", "out B", "in C", "volume", "in A3"}));
    std::lock_guard<std::mutex> l(m_lock);
    for (const std::thread::id &id : m_threads)
        EXPECT_NE(id, std::this_thread::get_id());
}

// A sign-in dropped by its sign-out is released on the queue's thread, not
// in the post of the sign-out: what it captured (an app's session) may end
// there, and the poster holds the conference lock.
TEST_F(FSSipAccountQueueTest, DroppedSignInIsReleasedOnTheQueuesThread)
{
    FSSipAccountQueue queue;
    Gate gate;
    queue.post(gate.blocker());
    ASSERT_TRUE(gate.waitInside());
    std::mutex lock;
    std::thread::id releasedOn;
    std::shared_ptr<int> session(new int(7), [&](int *p) {
        std::lock_guard<std::mutex> l(lock);
        releasedOn = std::this_thread::get_id();
        delete p;
    });
    queue.post([session] { (void)session; }, "A", Kind::SignIn);
    session.reset();
    queue.post(note("out A"), "A", Kind::SignOut);
    {
        std::lock_guard<std::mutex> l(lock);
        EXPECT_EQ(releasedOn, std::thread::id()) << "released inside post()";
    }
    gate.open();
    ASSERT_TRUE(queue.waitIdle(5000));
    EXPECT_EQ(done(), QStringList({"out A"}));
    std::lock_guard<std::mutex> l(lock);
    EXPECT_NE(releasedOn, std::thread::id());
    EXPECT_NE(releasedOn, std::this_thread::get_id());
}

// A queue that goes away still carries out what was posted: a stopped
// zone's accounts sign out even at shut-down.
TEST_F(FSSipAccountQueueTest, DestructionCarriesOutWhatIsQueued)
{
    Gate gate;
    {
        FSSipAccountQueue queue;
        queue.post(gate.blocker());
        ASSERT_TRUE(gate.waitInside());
        queue.post(note("in A"), "A", Kind::SignIn);
        queue.post(note("out B"), "B", Kind::SignOut);
        gate.open();
    }
    EXPECT_EQ(done(), QStringList({"in A", "out B"}));
}

// A zone started and stopped in quick turns (each turn carried out at once
// would be a register round trip with the switch) leaves one sign-out once
// the turns settle, even when the agent was idle when they began. Talk,
// listen and volume changes are not held back.
TEST_F(FSSipAccountQueueTest, QuickTurnsSettleIntoOneChangeAndOtherChangesGoAtOnce)
{
    // Long enough that the turns below surely fall within it.
    FSSipAccountQueue queue(std::chrono::seconds(2));
    // Turns a little apart: each would find the agent idle.
    for (int turn = 0; turn < 20; ++turn) {
        queue.post(note(QStringLiteral("in A%1").arg(turn)), "A", Kind::SignIn);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        queue.post(note(QStringLiteral("out A%1").arg(turn)), "A", Kind::SignOut);
    }
    ASSERT_TRUE(queue.waitIdle(5000));
    EXPECT_EQ(done(), QStringList({"out A0"}));

    FSSipAccountQueue slow(std::chrono::seconds(30));
    slow.post(note("volume"), "");
    ASSERT_TRUE(slow.waitIdle(5000)) << "a volume change waited for the settle time";
    EXPECT_EQ(done().last(), QStringLiteral("volume"));
}

// A sign-in that settles still goes ahead on its own, and whatever is
// posted behind it keeps its place.
TEST_F(FSSipAccountQueueTest, SettledChangesRunInOrder)
{
    FSSipAccountQueue queue(std::chrono::seconds(1));
    const auto posted = std::chrono::steady_clock::now();
    queue.post(note("in A"), "A", Kind::SignIn);
    queue.post(note("talk A"), "A");
    queue.post(note("in B"), "B", Kind::SignIn);
    EXPECT_FALSE(queue.waitIdle(20)) << "the sign-in is still settling";
    ASSERT_TRUE(queue.waitIdle(5000));
    EXPECT_GE(std::chrono::steady_clock::now() - posted, std::chrono::seconds(1));
    EXPECT_EQ(done(), QStringList({"in A", "talk A", "in B"}));
}
