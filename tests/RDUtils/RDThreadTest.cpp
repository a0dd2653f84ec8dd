#include "RDMessageQueue.h"
#include "RDThread.h"

#include "TestSupport.h"

#include <QElapsedTimer>
#include <QThread>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cmath>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

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

namespace {

// An idle thread should not wake up while it has nothing to do: a few
// switches in half a second at most, where a 1 ms poll makes hundreds.
constexpr int kIdleWindowMs = 500;
constexpr long long kIdleSwitches = 5;
// A stop reaches a thread in a long wait at once; the bound leaves room for
// a loaded machine under the sanitizers.
constexpr qint64 kStopNoticedMs = 250;

// A pipe whose read end stays silent unless the test writes.
struct Pipe
{
    int fds[2] = {-1, -1};
    Pipe() { EXPECT_EQ(::pipe2(fds, O_CLOEXEC | O_NONBLOCK), 0); }
    ~Pipe()
    {
        ::close(fds[0]);
        ::close(fds[1]);
    }
    int readEnd() const { return fds[0]; }
    void write() const { EXPECT_EQ(::write(fds[1], "x", 1), 1); }
};

// Runs `body` on its own thread after noting the thread's kernel id.
class IdleThread : public RDThread
{
public:
    explicit IdleThread(std::function<void(IdleThread &)> body) : m_body(std::move(body)) {}
    std::atomic<int> tid{0};
    std::atomic<bool> finished{false};

protected:
    void run() override
    {
        tid = PaTest::currentThreadId();
        m_body(*this);
        finished = true;
    }

private:
    std::function<void(IdleThread &)> m_body;
};

} // namespace

TEST(RDThread, IdleWaitsStayAsleepUntilStoppedAndAgainAfterARestart)
{
    Pipe silent;
    const int fd = silent.readEnd();
    const struct
    {
        const char *name;
        std::function<void(IdleThread &)> body;
    } cases[] = {
        {"sleep of an hour", [](IdleThread &t) { while (!t.isStopped()) t.sleep(3600 * 1000); }},
        {"socket wait without limit", [fd](IdleThread &t) { while (!t.isStopped()) t.waitReadable(fd, -1); }},
        {"socket wait of an hour", [fd](IdleThread &t) { while (!t.isStopped()) t.waitReadable(fd, 3600 * 1000); }},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        IdleThread t(c.body);
        // The second round shows that a restart clears what the stop set.
        for (int round = 0; round < 2; ++round) {
            SCOPED_TRACE(round);
            t.tid = 0;
            t.finished = false;
            t.start();
            ASSERT_TRUE(PaTest::waitUntil([&] { return t.tid.load() != 0; }));
            QThread::msleep(50); // into its wait
            const long long switches = PaTest::switchesOver({t.tid.load()}, kIdleWindowMs);
            EXPECT_GE(switches, 0);
            EXPECT_LE(switches, kIdleSwitches);
            EXPECT_FALSE(t.finished.load());

            QElapsedTimer timer;
            timer.start();
            t.stop();
            ASSERT_TRUE(PaTest::waitUntil([&] { return t.finished.load(); }, 5000));
            EXPECT_LT(timer.elapsed(), kStopNoticedMs);
            t.wait();
        }
    }
}

TEST(RDThread, SocketWaitReportsDataTimeOutAndStop)
{
    Pipe pipe;
    std::atomic<int> result{-2};
    std::atomic<qint64> tookMs{-1};
    std::atomic<int> timeoutMs{-1};
    IdleThread t([&](IdleThread &self) {
        QElapsedTimer timer;
        timer.start();
        result = self.waitReadable(pipe.readEnd(), timeoutMs.load());
        tookMs = timer.elapsed();
    });

    // Data that arrives during an unlimited wait ends it with 1.
    t.start();
    ASSERT_TRUE(PaTest::waitUntil([&] { return t.tid.load() != 0; }));
    QThread::msleep(50);
    EXPECT_EQ(result.load(), -2);
    pipe.write();
    ASSERT_TRUE(PaTest::waitUntil([&] { return t.finished.load(); }, 5000));
    t.wait();
    EXPECT_EQ(result.load(), 1);

    // Data already there: 1 at once, however long the limit.
    t.tid = 0;
    t.finished = false;
    timeoutMs = 3600 * 1000;
    t.start();
    ASSERT_TRUE(PaTest::waitUntil([&] { return t.finished.load(); }, 5000));
    t.wait();
    EXPECT_EQ(result.load(), 1);
    char byte;
    ASSERT_EQ(::read(pipe.readEnd(), &byte, 1), 1);

    // Nothing comes: 0 once the limit has passed, not before.
    t.finished = false;
    timeoutMs = 60;
    t.start();
    ASSERT_TRUE(PaTest::waitUntil([&] { return t.finished.load(); }, 5000));
    t.wait();
    EXPECT_EQ(result.load(), 0);
    EXPECT_GE(tookMs.load(), 60);

    // A descriptor that is not open: -1 at once, no wait and no time-out.
    const int notOpen = 999999;
    ASSERT_EQ(::fcntl(notOpen, F_GETFD), -1);
    IdleThread onClosed([&](IdleThread &self) { result = self.waitReadable(notOpen, 3600 * 1000); });
    onClosed.start();
    ASSERT_TRUE(PaTest::waitUntil([&] { return onClosed.finished.load(); }, 5000));
    onClosed.wait();
    EXPECT_EQ(result.load(), -1);

    // A thread told to stop before it waits does not wait at all.
    t.stop();
    EXPECT_EQ(t.waitReadable(pipe.readEnd(), 3600 * 1000), 0);
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
    std::atomic<int> queueTid{0};
    std::atomic<bool> wrongThread{false};
    QElapsedTimer clock;
    std::atomic<qint64> lastDeliveryNs{-1};
    Qt::HANDLE mainThread = QThread::currentThreadId();
    // When set, the first delivery waits until `release` is true.
    std::atomic<bool> holdFirst{false}, holding{false}, release{false};
    bool postFromInside = false;

    void onQueueThreadStarted(RDMessageQueue<Payload> *) override
    {
        queueTid = PaTest::currentThreadId();
        ++started;
    }
    void onQueueThreadFinished(RDMessageQueue<Payload> *) override { ++finished; }
    void onQueueMessage(RDMessageQueue<Payload> *queue, qint32 type, Payload *p) override
    {
        if (QThread::currentThreadId() == mainThread)
            wrongThread = true;
        if (clock.isValid())
            lastDeliveryNs = clock.nsecsElapsed();
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

TEST(RDMessageQueue, IdleThreadSleepsUntilAPostOrAStop)
{
    Recorder obs;
    RDMessageQueue<Payload> q(&obs);
    q.start();
    ASSERT_TRUE(PaTest::waitUntil([&] { return obs.queueTid.load() != 0; }));
    QThread::msleep(50);
    const long long switches = PaTest::switchesOver({obs.queueTid.load()}, kIdleWindowMs);
    EXPECT_GE(switches, 0);
    EXPECT_LE(switches, kIdleSwitches);

    // A post wakes it at once.
    obs.clock.start();
    const qint64 postedNs = obs.clock.nsecsElapsed();
    q.post(new Payload("A"), 0);
    ASSERT_TRUE(PaTest::waitUntil([&] { return obs.count() == 1; }));
    EXPECT_LT((obs.lastDeliveryNs.load() - postedNs) / 1000000, 50);

    // And so does a stop, back in its idle wait.
    QThread::msleep(50);
    QElapsedTimer timer;
    timer.start();
    q.stop();
    EXPECT_LT(timer.elapsed(), kStopNoticedMs);
    EXPECT_EQ(obs.finished.load(), 1);
}
