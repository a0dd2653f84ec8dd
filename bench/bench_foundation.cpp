// Foundation figures: message-queue hand-off and log-file throughput.
#include "RDLog.h"
#include "RDMessageQueue.h"

#include <QTemporaryDir>
#include <benchmark/benchmark.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

struct Item
{
    int value;
};

class CountingObserver : public RDMessageQueueObserver<Item>
{
public:
    std::atomic<long> delivered{0};
    void onQueueMessage(RDMessageQueue<Item> *, qint32, Item *) override
    {
        delivered.fetch_add(1, std::memory_order_release);
    }
};

// One message at a time: post, then wait until the observer has it.
void BM_QueuePostToDeliverLatency(benchmark::State &state)
{
    CountingObserver obs;
    RDMessageQueue<Item> q(&obs);
    q.start();
    long expected = 0;
    for (auto _ : state) {
        q.post(new Item{1}, 0);
        ++expected;
        while (obs.delivered.load(std::memory_order_acquire) < expected) {
        }
    }
    q.stop();
}
BENCHMARK(BM_QueuePostToDeliverLatency)->UseRealTime();

// Bursts of messages posted by one thread, timed until the last is delivered.
void BM_QueueThroughput(benchmark::State &state)
{
    const int burst = static_cast<int>(state.range(0));
    CountingObserver obs;
    RDMessageQueue<Item> q(&obs);
    q.start();
    long expected = 0;
    for (auto _ : state) {
        for (int i = 0; i < burst; ++i)
            q.post(new Item{i}, 0);
        expected += burst;
        while (obs.delivered.load(std::memory_order_acquire) < expected)
            std::this_thread::yield();
    }
    q.stop();
    state.SetItemsProcessed(state.iterations() * burst);
}
BENCHMARK(BM_QueueThroughput)->Arg(10000)->UseRealTime();

// Reference: the bare hand-off of a mutex and condition variable between two threads.
void BM_RawCondvarHandoffLatency(benchmark::State &state)
{
    std::mutex m;
    std::condition_variable cv;
    long posted = 0, seen = 0;
    bool quit = false;
    std::atomic<long> done{0};
    std::thread consumer([&] {
        std::unique_lock<std::mutex> lk(m);
        for (;;) {
            cv.wait(lk, [&] { return quit || posted > seen; });
            if (quit)
                return;
            seen = posted;
            done.store(seen, std::memory_order_release);
        }
    });
    long expected = 0;
    for (auto _ : state) {
        {
            std::lock_guard<std::mutex> g(m);
            ++posted;
        }
        cv.notify_one();
        ++expected;
        while (done.load(std::memory_order_acquire) < expected) {
        }
    }
    {
        std::lock_guard<std::mutex> g(m);
        quit = true;
    }
    cv.notify_one();
    consumer.join();
}
BENCHMARK(BM_RawCondvarHandoffLatency)->UseRealTime();

void silentHandler(QtMsgType, const QMessageLogContext &, const QString &) {}

QTemporaryDir *s_logDir = nullptr;

// Log lines of about 100 characters written through Qt's message logging.
// The handler chain before the log is silenced so only the file path counts.
void BM_LogLines(benchmark::State &state)
{
    if (state.thread_index() == 0) {
        s_logDir = new QTemporaryDir;
        qInstallMessageHandler(silentHandler);
        QLog::open(s_logDir->path() + "/log");
    }
    const int t = state.thread_index();
    int i = 0;
    for (auto _ : state)
        qInfo("thread %d line %d: the quick brown fox jumps over the lazy dog, zone 3001 started", t, ++i);
    state.SetItemsProcessed(state.iterations());
    if (state.thread_index() == 0) {
        QLog::close();
        delete s_logDir;
        s_logDir = nullptr;
    }
}
BENCHMARK(BM_LogLines)->Threads(1)->Threads(8)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
