// The built program left idle after its start: CPU time and wake-ups of all
// its threads over a window of PA_IDLE_SECONDS (default 10 s), with the
// phone-app WebSocket server on. A wake-up is one context switch of one of
// its threads (voluntary or not). The busiest threads are listed on stderr. The switch stand-in's own figures are given apart.
#include "BenchQtMain.h"
#include "support/BenchProgram.h"
#include "support/ProcessCpu.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <map>
#include <vector>

#include <unistd.h>

namespace {

struct TaskSample
{
    QString name;
    double cpuSeconds = 0;
    long long switches = 0;
};

using ProcessSample = std::map<int, TaskSample>;

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

ProcessSample sampleProcess(pid_t pid)
{
    ProcessSample sample;
    const QString taskDir = QStringLiteral("/proc/%1/task").arg(pid);
    for (const QString &tid : QDir(taskDir).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        const QString base = taskDir + QLatin1Char('/') + tid;
        TaskSample t;
        t.name = QString::fromLocal8Bit(readAll(base + QStringLiteral("/comm"))).trimmed();
        // Nanoseconds on a CPU, the first field of schedstat.
        const QByteArray sched = readAll(base + QStringLiteral("/schedstat"));
        if (sched.isEmpty())
            continue;
        t.cpuSeconds = sched.split(' ').value(0).toDouble() / 1e9;
        for (const QByteArray &line : readAll(base + QStringLiteral("/status")).split('\n')) {
            if (line.startsWith("voluntary_ctxt_switches:") || line.startsWith("nonvoluntary_ctxt_switches:"))
                t.switches += line.mid(line.indexOf(':') + 1).trimmed().toLongLong();
        }
        sample.emplace(tid.toInt(), t);
    }
    return sample;
}

// The program's child processes (its switch).
std::vector<pid_t> childrenOf(pid_t parent)
{
    std::vector<pid_t> children;
    for (const QString &entry : QDir(QStringLiteral("/proc")).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        bool ok = false;
        const int pid = entry.toInt(&ok);
        if (!ok)
            continue;
        const QByteArray stat = readAll(QStringLiteral("/proc/%1/stat").arg(pid));
        // "pid (comm) state ppid ...": comm may hold spaces, so read after ')'.
        const int close = stat.lastIndexOf(')');
        if (close < 0)
            continue;
        const QList<QByteArray> fields = stat.mid(close + 2).split(' ');
        if (fields.size() > 1 && fields.at(1).toInt() == parent)
            children.push_back(pid);
    }
    return children;
}

struct Usage
{
    double cpuSeconds = 0;
    long long switches = 0;
    struct Thread
    {
        long long switches;
        double cpuSeconds;
        QString name;
    };
    std::vector<Thread> perThread;
};

// What each thread alive at the end used since `before` (threads born in the
// window count from zero).
Usage difference(const ProcessSample &before, const ProcessSample &after)
{
    Usage u;
    for (const auto &entry : after) {
        const auto old = before.find(entry.first);
        const double cpu = entry.second.cpuSeconds - (old == before.end() ? 0 : old->second.cpuSeconds);
        const long long sw = entry.second.switches - (old == before.end() ? 0 : old->second.switches);
        u.cpuSeconds += cpu;
        u.switches += sw;
        u.perThread.push_back({sw, cpu, entry.second.name});
    }
    std::sort(u.perThread.begin(), u.perThread.end(),
              [](const Usage::Thread &a, const Usage::Thread &b) { return a.cpuSeconds > b.cpuSeconds; });
    return u;
}

int idleSeconds()
{
    const int s = qEnvironmentVariableIntValue("PA_IDLE_SECONDS");
    return s > 0 ? s : 10;
}

void BM_IdleProgram(benchmark::State &state)
{
    for (auto _ : state) {
        QTemporaryDir dir;
        QTemporaryDir runtime;
        if (!dir.isValid() || !runtime.isValid() || !PaBench::prepareProgramFolder(dir.path(), true)) {
            state.SkipWithError("cannot lay out the program");
            return;
        }
        const pid_t pid = PaBench::startProgram(dir.path(), runtime.path());
        if (pid < 0 || !PaBench::waitForLog(dir.path(), "switch ready", 120)) {
            if (pid > 0)
                PaBench::stopProgram(pid);
            state.SkipWithError("the program did not get ready");
            return;
        }
        // Let the start-up work settle before the window opens.
        QThread::msleep(2000);
        const std::vector<pid_t> switches = childrenOf(pid);
        const pid_t switchPid = switches.empty() ? -1 : switches.front();

        const int seconds = idleSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        const double cpuBefore = PaBench::processCpuSeconds(pid);
        const ProcessSample before = sampleProcess(pid);
        const ProcessSample switchBefore = switchPid > 0 ? sampleProcess(switchPid) : ProcessSample();
        QThread::msleep(seconds * 1000UL);
        const ProcessSample after = sampleProcess(pid);
        const double cpuAfter = PaBench::processCpuSeconds(pid);
        const ProcessSample switchAfter = switchPid > 0 ? sampleProcess(switchPid) : ProcessSample();
        const double window = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        PaBench::stopProgram(pid);

        const Usage program = difference(before, after);
        const Usage sw = difference(switchBefore, switchAfter);
        state.SetIterationTime(window);
        state.counters["cpu_pct_of_core"] = 100.0 * program.cpuSeconds / window;
        state.counters["cpu_pct_of_core_by_ticks"] = 100.0 * (cpuAfter - cpuBefore) / window;
        state.counters["wakeups_per_s"] = program.switches / window;
        state.counters["threads"] = double(after.size());
        state.counters["switch_cpu_pct"] = 100.0 * sw.cpuSeconds / window;
        state.counters["switch_wakeups_per_s"] = sw.switches / window;
        std::fprintf(stderr, "busiest threads (%d threads, %.1f s): %% of a core, wake-ups per second\n",
                     int(after.size()), window);
        for (size_t i = 0; i < program.perThread.size() && i < 8; ++i) {
            const Usage::Thread &t = program.perThread[i];
            std::fprintf(stderr, "  %7.3f %8.1f  %s\n", 100.0 * t.cpuSeconds / window, t.switches / window,
                         qPrintable(t.name));
        }
    }
}

} // namespace

BENCHMARK(BM_IdleProgram)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

int main(int argc, char **argv)
{
    return runBenchmarksInQtApplication(argc, argv);
}
