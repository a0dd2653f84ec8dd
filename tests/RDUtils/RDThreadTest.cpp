#include "RDMessageQueue.h"
#include "RDThread.h"

#include "TestSupport.h"

#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

// Counts passes of a loop that tests the stop flag first, and sleeps in
// interruptible steps of `stepMs`.
class LoopThread : public RDThread
{
public:
    explicit LoopThread(int stepMs = 1) : m_stepMs(stepMs) {}
    std::atomic<int> passes{0};
    std::atomic<bool> finished{false};
    std::string seenName;

protected:
    void run() override
    {
        seenName = QThread::currentThread()->objectName().toStdString();
        while (!isStopped()) {
            ++passes;
            sleep(m_stepMs);
        }
        finished = true;
    }

private:
    int m_stepMs;
};

struct ClockOffsetReset
{
    ~ClockOffsetReset() { setWallClockOffsetForTesting(0); }
};

} // namespace

TEST(RDThread, StopBeforeStartOnlySetsFlagAndStartClearsIt)
{
    LoopThread t;
    EXPECT_FALSE(t.isStopped());
    t.stop();
    EXPECT_TRUE(t.isStopped());
    EXPECT_FALSE(t.isRunning());

    ASSERT_TRUE(t.start());
    // The flag is cleared before the thread runs, so the loop is entered.
    ASSERT_TRUE(PaTest::waitUntil([&] { return t.passes.load() > 0; }));
    t.stop();
    EXPECT_TRUE(t.wait());
    EXPECT_TRUE(t.finished.load());
    EXPECT_FALSE(t.isRunning());
}

TEST(RDThread, RestartsAfterStopAndKeepsNameWhenNewNameIsEmpty)
{
    LoopThread t;
    t.setName("worker-a");
    t.start();
    ASSERT_TRUE(PaTest::waitUntil([&] { return t.passes.load() > 0; }));
    t.stop();
    t.wait();
    EXPECT_EQ(t.seenName, "worker-a");

    t.setName("");
    t.passes = 0;
    t.finished = false;
    t.start();
    ASSERT_TRUE(PaTest::waitUntil([&] { return t.passes.load() > 0; }));
    t.stop();
    t.wait();
    EXPECT_TRUE(t.finished.load());
    EXPECT_EQ(t.seenName, "worker-a");
}

TEST(RDThread, StopInterruptsALongSleep)
{
    LoopThread t(60 * 60 * 1000);
    t.start();
    ASSERT_TRUE(PaTest::waitUntil([&] { return t.passes.load() == 1; }));
    t.stop();
    EXPECT_TRUE(PaTest::waitUntil([&] { return t.finished.load(); }, 5000));
    t.wait();
}

TEST(RDThread, SleepIgnoresTheWallClockBeingSetBack)
{
    ClockOffsetReset reset;
    struct OneSleep : RDThread
    {
        std::atomic<bool> entered{false}, done{false};
        void run() override
        {
            entered = true;
            sleep(200);
            done = true;
        }
    } t;
    t.start();
    ASSERT_TRUE(PaTest::waitUntil([&] { return t.entered.load(); }));
    // The PC's clock is set back an hour while the thread sleeps.
    setWallClockOffsetForTesting(-3600 * 1000);
    EXPECT_TRUE(PaTest::waitUntil([&] { return t.done.load(); }, 10000));
    t.stop();
    t.wait();
}

TEST(RDThread, NonPositiveSleepAndSleepOfAStoppedThreadReturn)
{
    struct Sleeper : RDThread
    {
        std::atomic<int> step{0};
        void run() override
        {
            sleep(0);
            step = 1;
            sleep(-100);
            step = 2;
            // The owner stops us while we wait for nothing in particular.
            while (!isStopped())
                msleep(1);
            sleep(60 * 60 * 1000);
            step = 3;
        }
    } t;
    t.start();
    ASSERT_TRUE(PaTest::waitUntil([&] { return t.step.load() == 2; }));
    t.stop();
    EXPECT_TRUE(PaTest::waitUntil([&] { return t.step.load() == 3; }));
    t.wait();
}

TEST(RDClock, WallClockAndSteadyClock)
{
    ClockOffsetReset reset;
    const qint64 ms = currentMilliseconds();
    const double s = currentSeconds();
    EXPECT_NEAR(s, ms / 1000.0, 5.0);

    const double m0 = monotonicSeconds();
    setWallClockOffsetForTesting(-3600 * 1000);
    EXPECT_LT(currentMilliseconds(), ms - 3500 * 1000);
    EXPECT_GE(monotonicSeconds(), m0);
    // Whole milliseconds.
    const double m = monotonicSeconds() * 1000.0;
    EXPECT_NEAR(m, std::round(m), 1e-3);
}

namespace {

struct Payload
{
    explicit Payload(std::string t) : text(std::move(t)) {}
    ~Payload() { ++destroyed; }
    std::string text;
    static std::atomic<int> destroyed;
};
std::atomic<int> Payload::destroyed{0};

class Recorder : public RDMessageQueueObserver<Payload>
{
public:
    std::mutex lock;
    std::vector<std::string> delivered;
    std::vector<qint32> types;
    std::atomic<int> started{0}, finished{0};
    std::atomic<bool> wrongThread{false};
    Qt::HANDLE mainThread = QThread::currentThreadId();
    // When set, the first delivery waits until `release` is true.
    std::atomic<bool> holdFirst{false}, holding{false}, release{false};
    bool postFromInside = false;

    void onQueueThreadStarted(RDMessageQueue<Payload> *) override { ++started; }
    void onQueueThreadFinished(RDMessageQueue<Payload> *) override { ++finished; }
    void onQueueMessage(RDMessageQueue<Payload> *queue, qint32 type, Payload *p) override
    {
        if (QThread::currentThreadId() == mainThread)
            wrongThread = true;
        {
            std::lock_guard<std::mutex> g(lock);
            delivered.push_back(p->text);
            types.push_back(type);
        }
        if (postFromInside && p->text == "A")
            queue->post(new Payload("A2"), 9);
        if (holdFirst.exchange(false)) {
            holding = true;
            while (!release.load())
                QThread::msleep(1);
        }
    }
    size_t count()
    {
        std::lock_guard<std::mutex> g(lock);
        return delivered.size();
    }
};

} // namespace

TEST(RDMessageQueue, DeliversInOrderOnItsThreadAndPostsFromInsideComeAfter)
{
    Payload::destroyed = 0;
    Recorder obs;
    obs.postFromInside = true;
    {
        RDMessageQueue<Payload> q(&obs);
        q.start();
        q.post(new Payload("A"), 0);
        q.post(new Payload("B"), 1);
        q.post(new Payload("C"), 2);
        ASSERT_TRUE(PaTest::waitUntil([&] { return obs.count() == 4; }));
        q.stop();
    }
    EXPECT_EQ(obs.delivered, (std::vector<std::string>{"A", "B", "C", "A2"}));
    EXPECT_EQ(obs.types, (std::vector<qint32>{0, 1, 2, 9}));
    EXPECT_FALSE(obs.wrongThread.load());
    EXPECT_EQ(obs.started.load(), 1);
    EXPECT_EQ(obs.finished.load(), 1);
    EXPECT_EQ(Payload::destroyed.load(), 4);
}

TEST(RDMessageQueue, StopDropsPendingMessagesUndelivered)
{
    Payload::destroyed = 0;
    Recorder obs;
    obs.holdFirst = true;
    RDMessageQueue<Payload> q(&obs);
    q.start();
    q.post(new Payload("A"), 0);
    ASSERT_TRUE(PaTest::waitUntil([&] { return obs.holding.load(); }));
    q.post(new Payload("B"), 0);
    q.post(new Payload("C"), 0);

    std::thread stopper([&] { q.stop(); });
    // B and C are deleted by stop() while A is still being handled.
    EXPECT_TRUE(PaTest::waitUntil([&] { return Payload::destroyed.load() == 2; }));
    obs.release = true;
    stopper.join();

    EXPECT_EQ(obs.delivered, (std::vector<std::string>{"A"}));
    EXPECT_EQ(Payload::destroyed.load(), 3);
    EXPECT_EQ(obs.started.load(), 1);
    EXPECT_EQ(obs.finished.load(), 1);
}

TEST(RDMessageQueue, WithoutObserverDrainsAndDeletes)
{
    Payload::destroyed = 0;
    RDMessageQueue<Payload> q(nullptr);
    q.start();
    for (int i = 0; i < 100; ++i)
        q.post(new Payload(std::to_string(i)), i);
    EXPECT_TRUE(PaTest::waitUntil([&] { return Payload::destroyed.load() == 100; }));
    q.stop();
}

TEST(RDMessageQueue, ManyProducersKeepEachProducersOrderAndRestartWorks)
{
    Recorder obs;
    RDMessageQueue<Payload> q(&obs);
    q.start();
    q.start(); // a restart replaces the thread
    const int producers = 4, each = 500;
    std::vector<std::thread> threads;
    for (int p = 0; p < producers; ++p)
        threads.emplace_back([&, p] {
            for (int i = 0; i < each; ++i)
                q.post(new Payload(std::to_string(p) + ":" + std::to_string(i)), p);
        });
    for (auto &t : threads)
        t.join();
    ASSERT_TRUE(PaTest::waitUntil([&] { return obs.count() == size_t(producers * each); }));
    q.stop();

    std::vector<int> next(producers, 0);
    for (const std::string &s : obs.delivered) {
        const int p = std::stoi(s.substr(0, s.find(':')));
        const int i = std::stoi(s.substr(s.find(':') + 1));
        EXPECT_EQ(i, next[p]) << s;
        next[p] = i + 1;
    }
    EXPECT_EQ(obs.started.load(), 2);
    EXPECT_EQ(obs.finished.load(), 2);
}
