// The built program from cold start to "switch ready", its resident memory
// when idle after the start, and the time of its ordered shut-down. Each
// iteration runs a private copy of the program and its switch package.
#include "BenchSmoke.h"
#include "RDConfigure.h"
#include "VDB.h"
#include "VelmarDB.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QThread>
#include <QUdpSocket>

#include <chrono>
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

namespace {

QString binDir()
{
    // bin/bench/<this> -> bin
    return QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).dir().absolutePath()
        + QStringLiteral("/..");
}

bool copyTree(const QString &from, const QString &to)
{
    QDir source(from);
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo &entry : source.entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (entry.isDir()) {
            if (!copyTree(entry.absoluteFilePath(), target))
                return false;
        } else if (!QFile::copy(entry.absoluteFilePath(), target)) {
            return false;
        }
    }
    return true;
}

int freePort(bool udp)
{
    if (udp) {
        QUdpSocket s;
        s.bind(QHostAddress(QHostAddress::LocalHost), 0);
        return s.localPort();
    }
    QTcpServer s;
    s.listen(QHostAddress::LocalHost, 0);
    return s.serverPort();
}

bool prepare(const QString &folder)
{
    const QString bin = binDir();
    if (!QFile::copy(bin + QStringLiteral("/Velmar"), folder + QStringLiteral("/Velmar"))
        || !copyTree(bin + QStringLiteral("/language"), folder + QStringLiteral("/language"))
        || !copyTree(bin + QStringLiteral("/RUVIDAZA"), folder + QStringLiteral("/RUVIDAZA")))
        return false;
    for (const char *runtime : {"/RUVIDAZA/db", "/RUVIDAZA/log", "/RUVIDAZA/run"})
        QDir(folder + QLatin1String(runtime)).removeRecursively();
    QDir().mkpath(folder + QStringLiteral("/RUVIDAZA/db"));
    QDir().mkpath(folder + QStringLiteral("/RUVIDAZA/log"));
    const QString saved = VDB::dataDir();
    VDB::setDataDir(folder + QStringLiteral("/database"));
    {
        VelmarDB db(true);
        db.checkUpgrade();
        db.createDefaultGroup();
        RDConfigure conf;
        conf.initDefaults();
        conf.setSipInternalIp(QStringLiteral("127.0.0.1"));
        conf.setSipInternalNetmask(QStringLiteral("255.0.0.0"));
        conf.setSipExternalIp(QStringLiteral("127.0.0.1"));
        conf.setSipInternalPort(freePort(true));
        conf.setSipExternalPort(freePort(true));
        conf.setHttpServerPort(freePort(false));
        conf.setWsPort(freePort(false));
    }
    VDB::setDataDir(saved);
    return true;
}

bool logContains(const QString &folder, const char *text)
{
    const QStringList files = QDir(folder + QStringLiteral("/log")).entryList({QStringLiteral("*.log")});
    if (files.isEmpty())
        return false;
    QFile f(folder + QStringLiteral("/log/") + files.first());
    return f.open(QIODevice::ReadOnly) && f.readAll().contains(text);
}

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
        if (!dir.isValid() || !runtime.isValid() || !prepare(dir.path())) {
            state.SkipWithError("cannot lay out the program");
            return;
        }
        const QByteArray program = (dir.path() + QStringLiteral("/Velmar")).toLocal8Bit();
        const QByteArray runtimeDir = runtime.path().toLocal8Bit();
        const auto started = Clock::now();
        const pid_t pid = ::fork();
        if (pid == 0) {
            ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
            ::setenv("XDG_RUNTIME_DIR", runtimeDir.constData(), 1);
            if (::chdir(dir.path().toLocal8Bit().constData()) != 0)
                ::_exit(127);
            ::execl(program.constData(), program.constData(), static_cast<char *>(nullptr));
            ::_exit(127);
        }
        const auto deadline = started + std::chrono::seconds(120);
        while (!logContains(dir.path(), "switch ready") && Clock::now() < deadline)
            QThread::msleep(5);
        const auto ready = Clock::now();
        state.SetIterationTime(std::chrono::duration<double>(ready - started).count());

        QThread::msleep(BenchSmoke::size(2000, 100));
        rssKiB += residentKiB(pid);

        const auto stopping = Clock::now();
        ::kill(pid, SIGTERM);
        int status = 0;
        ::waitpid(pid, &status, 0);
        shutdownMs += std::chrono::duration<double, std::milli>(Clock::now() - stopping).count();
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
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
