// HTTP server figures: requests per second and latency percentiles with 100
// concurrent keep-alive clients on loopback, answered by a minimal static
// observer (the baseline that any route's own cost adds to), and by the
// central object's "/action" route starting a zone on a running switch.
#include "BenchSmoke.h"
#include "FSManager.h"
#include "PALogDB.h"
#include "PASipManager.h"
#include "RDConfigure.h"
#include "RDHttpBaseRequest.h"
#include "RDHttpConnection.h"
#include "RDHttpStreamServer.h"
#include "RDHttpTextResponse.h"
#include "VDB.h"
#include "Velmar.h"
#include "VelmarDB.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>
#include <QtGlobal>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

// Every request is logged; the figures are about the server, not the console.
const bool g_quiet = [] {
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    return true;
}();

class StaticObserver : public RDHttpStreamServerObserver
{
public:
    void handleRequest(RDHttpStreamServer *, RDHttpConnection *connection, RDHttpBaseRequest *) override
    {
        RDHttpTextResponse response;
        response.setJson("{\"result\":\"ok\"}");
        connection->sendResponse(response);
    }
};

int freePort()
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa);
    socklen_t len = sizeof sa;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&sa), &len);
    ::close(fd);
    return ntohs(sa.sin_port);
}

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in sa {};
    sa.sin_family = AF_INET;
    sa.sin_port = htons(static_cast<uint16_t>(port));
    sa.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&sa), sizeof sa) != 0) {
        ::close(fd);
        return -1;
    }
    int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return fd;
}

// Reads one answer whose body is known to be 15 bytes.
bool readAnswer(int fd, std::string &buf)
{
    char tmp[4096];
    while (true) {
        const size_t end = buf.find("\r\n\r\n");
        if (end != std::string::npos && buf.size() >= end + 4 + 15) {
            buf.erase(0, end + 4 + 15);
            return true;
        }
        const ssize_t n = ::recv(fd, tmp, sizeof tmp, 0);
        if (n <= 0)
            return false;
        buf.append(tmp, static_cast<size_t>(n));
    }
}

// 100 (or `clients`) kept-alive connections each send `perClient` requests
// one after another, all at once; figures over every iteration.
void runClients(benchmark::State &state, int port, int clients, int perClient, const std::string &request)
{
    std::vector<double> latencies;
    long long total = 0;
    double seconds = 0;
    for (auto _ : state) {
        std::vector<std::vector<double>> perThread(static_cast<size_t>(clients));
        std::atomic<int> failures {0};
        std::atomic<int> ready {0};
        std::atomic<bool> go {false};
        std::vector<std::thread> threads;
        for (int c = 0; c < clients; ++c) {
            threads.emplace_back([&, c] {
                const int fd = connectTo(port);
                std::string buf;
                // Connect and answer one request before timing: the figures
                // are for kept-alive connections, not for connection set-up.
                const bool warm = fd >= 0 && ::send(fd, request.data(), request.size(), MSG_NOSIGNAL) > 0
                    && readAnswer(fd, buf);
                if (!warm)
                    ++failures;
                ++ready;
                while (!go)
                    std::this_thread::yield();
                for (int r = 0; warm && r < perClient; ++r) {
                    const auto t0 = std::chrono::steady_clock::now();
                    if (::send(fd, request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size())
                        || !readAnswer(fd, buf)) {
                        ++failures;
                        break;
                    }
                    perThread[static_cast<size_t>(c)].push_back(
                        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - t0).count());
                }
                if (fd >= 0)
                    ::close(fd);
            });
        }
        while (ready < clients)
            std::this_thread::yield();
        const auto begin = std::chrono::steady_clock::now();
        go = true;
        for (auto &t : threads)
            t.join();
        seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
        if (failures) {
            state.SkipWithError("a client failed");
            break;
        }
        for (auto &v : perThread) {
            latencies.insert(latencies.end(), v.begin(), v.end());
            total += static_cast<long long>(v.size());
        }
    }
    if (latencies.empty())
        return;
    std::sort(latencies.begin(), latencies.end());
    state.counters["req_per_s"] = static_cast<double>(total) / seconds;
    state.counters["p50_us"] = latencies[latencies.size() / 2];
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
}

const std::string kActionRequest = "GET /action?zone=3001&operation=start HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                   "Connection: keep-alive\r\n\r\n";

void BM_HttpKeepAliveStaticAnswer(benchmark::State &state)
{
    const int clients = static_cast<int>(state.range(0));
    StaticObserver observer;
    RDHttpStreamServer server;
    server.setObserver(&observer);
    RDHttpServerConfigure config;
    config.host = "127.0.0.1";
    config.maxConnections = clients + 8;
    int started = -1;
    for (int i = 0; i < 20 && started != 0; ++i) {
        config.port = freePort();
        server.setConfigure(config);
        started = server.start();
    }
    if (started != 0) {
        state.SkipWithError("server did not start");
        return;
    }
    runClients(state, config.port, clients, 20, kActionRequest);
    server.stop();
}
BENCHMARK(BM_HttpKeepAliveStaticAnswer)->Arg(64)->Arg(100)->Iterations(BenchSmoke::count(5))->Unit(benchmark::kMillisecond)->UseRealTime();

bool copyTree(const QString &from, const QString &to)
{
    if (!QDir().mkpath(to))
        return false;
    for (const QFileInfo &entry : QDir(from).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden)) {
        const QString target = to + QLatin1Char('/') + entry.fileName();
        if (entry.isDir() ? !copyTree(entry.absoluteFilePath(), target)
                          : !QFile::copy(entry.absoluteFilePath(), target))
            return false;
    }
    return true;
}

template <typename Done>
bool waitFor(Done done, int timeoutMs)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return true;
}

// The program's own road for "/action": the central object over a private
// database, the switch manager running a private copy of the switch package,
// and the HTTP server the central object starts once the switch is ready.
// Every request looks the zone up, hands the start to the switch manager and
// writes an event-log record.
void BM_HttpKeepAliveActionStart(benchmark::State &state)
{
    const int clients = static_cast<int>(state.range(0));
    QTemporaryDir work;
    const QString bin = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).dir().absolutePath()
        + QStringLiteral("/..");
    const QString switchDir = work.path() + QStringLiteral("/RUVIDAZA");
    if (!copyTree(bin + QStringLiteral("/RUVIDAZA"), switchDir)) {
        state.SkipWithError("no switch package beside the benchmarks");
        return;
    }
    for (const char *runtime : {"/db", "/log", "/run"}) {
        QDir(switchDir + QLatin1String(runtime)).removeRecursively();
        QDir().mkpath(switchDir + QLatin1String(runtime));
    }
    const QString oldDataDir = VDB::dataDir();
    VDB::setDataDir(work.path() + QStringLiteral("/database"));
    const int httpPort = freePort();
    {
        VelmarDB db(true);
        db.checkUpgrade();
        PALogDB log(true);
        log.checkUpgrade();
        RDConfigure conf;
        conf.setHttpServerPort(httpPort);
        conf.setHttpApiEnable(true);
    }
    PASipManager::createInstance(QStringLiteral("127.0.0.1"));
    FSManager *fs = FSManager::createInstance();
    fs->setDirectory(switchDir);
    fs->setHttpPort(httpPort);
    fs->setNetwork(QStringLiteral("127.0.0.1"), QStringLiteral("255.0.0.0"), freePort(), false,
                   QStringLiteral("127.0.0.1"), freePort(), QStringLiteral("PCMU,PCMA"));
    fs->setRtpPortRange(31400, 31500);
    Velmar::createInstance();
    Velmar *velmar = Velmar::instance();
    RDGroup zone;
    zone.name = QStringLiteral("Bench zone");
    zone.conference = QStringLiteral("3001");
    zone.source = QStringLiteral("media");
    velmar->addGroup(zone);

    const bool up = fs->start() && waitFor([&] { return fs->isReady(); }, 60000)
        && waitFor([&] { return velmar->isHttpServerRunning() && !velmar->isRestartPending(); }, 20000);
    if (up) {
        runClients(state, httpPort, clients, 20, kActionRequest);
        // Every answered start leaves one event-log record (warm-up requests included).
        PALogDB log(true);
        const long long expected = static_cast<long long>(state.iterations()) * clients * 21;
        state.counters["log_rows_missing"] =
            static_cast<double>(expected - log.selectLogs(0, 1000000, QString(), QString(), QString()).size());
    } else
        state.SkipWithError("switch or HTTP server did not start");

    Velmar::destroyInstance();
    fs->stop();
    PASipManager::destroyInstance();
    FSManager::destroyInstance();
    VDB::setDataDir(oldDataDir);
}
// The program's server holds at most 64 connections (kDefaultMaxConnections)
// and lets the longest-idle one go for a newcomer, so the route is measured at
// that many kept-alive clients; the static answer above runs at 64 as well.
BENCHMARK(BM_HttpKeepAliveActionStart)->Arg(64)->Iterations(BenchSmoke::count(5))->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
