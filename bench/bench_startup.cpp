// The built program from cold start to "switch ready", its resident memory
// when idle after the start, and the time of its ordered shut-down. Each
// iteration runs a private copy of the program and its switch package.
#include "BenchQtMain.h"
#include "BenchSmoke.h"
#include "support/BenchProgram.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>

namespace {

long residentKiB(pid_t pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    }
    return -1;
}

void BM_ColdStartToSwitchReady(benchmark::State &state)
{
    using Clock = std::chrono::steady_clock;
    double rssKiB = 0, shutdownMs = 0;
    int runs = 0;
    for (auto _ : state) {
        QTemporaryDir dir;
        QTemporaryDir runtime;
        if (!dir.isValid() || !runtime.isValid() || !PaBench::prepareProgramFolder(dir.path())) {
            state.SkipWithError("cannot lay out the program");
            return;
        }
        const auto started = Clock::now();
        const pid_t pid = PaBench::startProgram(dir.path(), runtime.path());
        PaBench::waitForLog(dir.path(), "switch ready", 120);
        const auto ready = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(ready - started).count());

        QThread::msleep(BenchSmoke::size(2000, 100));
        rssKiB += residentKiB(pid);

        shutdownMs += PaBench::stopProgram(pid);
        ++runs;
    }
    if (runs > 0) {
        state.counters["idle_rss_MiB"] = rssKiB / runs / 1024.0;
        state.counters["shutdown_ms"] = shutdownMs / runs;
    }
}

} // namespace

BENCHMARK(BM_ColdStartToSwitchReady)->UseManualTime()->Iterations(BenchSmoke::count(3))->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarksInQtApplication(argc, argv);
}
