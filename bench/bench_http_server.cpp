// HTTP server figures: requests per second and latency percentiles with 100
// concurrent keep-alive clients on loopback, answered by a minimal static
// observer (the baseline that any route's own cost adds to), and by the
// central object's "/action" route starting a zone on a running switch.
#include "BenchQtMain.h"
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
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <condition_variable>
#include <mutex>
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

// What one round of clients measured.
struct Round {
    std::vector<double> latencies; // µs, one per timed request
    long long answered = 0;        // every answered request, warm-up included
    double seconds = 0;
    bool failed = false;
};

// One kept-alive client connection of a round.
struct Client {
    int fd = -1;
    std::string buf;
    int sent = 0; // requests sent, warm-up included
    std::chrono::steady_clock::time_point t0;
};

// `clients` kept-alive connections each send `perClient` requests one after
// another, all at once, cycling through `requests`. A few loader threads
// drive the connections with poll(), as load generators do: one thread per
// client would compete with the server for the processors, and the figures
// would then measure the clients' own scheduling as much as the server.
Round runRound(int port, int clients, int perClient, const std::vector<std::string> &requests)
{
    Round round;
    std::vector<Client> conns(static_cast<size_t>(clients));
    for (Client &c : conns) {
        c.fd = connectTo(port);
        if (c.fd < 0) {
            round.failed = true;
            for (Client &open : conns)
                if (open.fd >= 0)
                    ::close(open.fd);
            return round;
        }
    }
    const int loaders = std::min(clients, 4);
    std::vector<std::vector<double>> perLoader(static_cast<size_t>(loaders));
    std::atomic<long long> answered {0};
    std::atomic<int> failures {0};
    // Every connection answers one request before the timed ones: the
    // figures are for kept-alive connections, not for connection set-up.
    std::mutex startLock;
    std::condition_variable startChanged;
    int ready = 0;
    bool go = false;
    auto drive = [&](int loader, bool timed, int total) {
        std::vector<Client *> mine;
        for (size_t i = static_cast<size_t>(loader); i < conns.size(); i += static_cast<size_t>(loaders))
            mine.push_back(&conns[i]);
        auto sendNext = [&](Client &c) {
            // The warm-up sends the first request; the timed ones cycle from it.
            const int turn = c.sent == 0 ? 0 : c.sent - 1;
            const std::string &request = requests[static_cast<size_t>(turn) % requests.size()];
            c.t0 = std::chrono::steady_clock::now();
            ++c.sent;
            return ::send(c.fd, request.data(), request.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(request.size());
        };
        int busy = 0;
        for (Client *c : mine) {
            if (!sendNext(*c))
                return false;
            ++busy;
        }
        std::vector<pollfd> fds(mine.size());
        char tmp[4096];
        while (busy > 0) {
            for (size_t i = 0; i < mine.size(); ++i)
                fds[i] = {mine[i]->fd, POLLIN, 0};
            if (::poll(fds.data(), fds.size(), 20000) <= 0)
                return false;
            for (size_t i = 0; i < mine.size(); ++i) {
                if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                Client &c = *mine[i];
                const ssize_t n = ::recv(c.fd, tmp, sizeof tmp, MSG_DONTWAIT);
                if (n <= 0)
                    return false;
                c.buf.append(tmp, static_cast<size_t>(n));
                // Answers have a 15-byte body.
                const size_t end = c.buf.find("\r\n\r\n");
                if (end == std::string::npos || c.buf.size() < end + 4 + 15)
                    continue;
                c.buf.erase(0, end + 4 + 15);
                ++answered;
                if (timed)
                    perLoader[static_cast<size_t>(loader)].push_back(
                        std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - c.t0).count());
                if (c.sent < total) {
                    if (!sendNext(c))
                        return false;
                } else {
                    --busy;
                }
            }
        }
        return true;
    };
    std::vector<std::thread> threads;
    for (int l = 0; l < loaders; ++l) {
        threads.emplace_back([&, l] {
            const bool warm = drive(l, false, 1);
            if (!warm)
                ++failures;
            {
                std::unique_lock<std::mutex> lock(startLock);
                ++ready;
                startChanged.notify_all();
                startChanged.wait(lock, [&] { return go; });
            }
            if (warm && !drive(l, true, 1 + perClient))
                ++failures;
        });
    }
    {
        std::unique_lock<std::mutex> lock(startLock);
        startChanged.wait(lock, [&] { return ready == loaders; });
        go = true;
    }
    startChanged.notify_all();
    const auto begin = std::chrono::steady_clock::now();
    for (auto &t : threads)
        t.join();
    round.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - begin).count();
    for (Client &c : conns)
        ::close(c.fd);
    round.failed = failures > 0;
    round.answered = answered;
    for (auto &v : perLoader)
        round.latencies.insert(round.latencies.end(), v.begin(), v.end());
    return round;
}

double percentile(std::vector<double> values, int percent)
{
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    return values[values.size() * static_cast<size_t>(percent) / 100];
}

// Figures over every iteration: requests per second, p50 and p99.
void runClients(benchmark::State &state, int port, int clients, int perClient, const std::string &request)
{
    std::vector<double> latencies;
    double seconds = 0;
    for (auto _ : state) {
        const Round round = runRound(port, clients, perClient, {request});
        if (round.failed) {
            state.SkipWithError("a client failed");
            break;
        }
        seconds += round.seconds;
        latencies.insert(latencies.end(), round.latencies.begin(), round.latencies.end());
    }
    if (latencies.empty())
        return;
    state.counters["req_per_s"] = static_cast<double>(latencies.size()) / seconds;
    state.counters["p50_us"] = percentile(latencies, 50);
    state.counters["p99_us"] = percentile(latencies, 99);
}

const std::string kActionRequest = "GET /action?zone=3001&operation=start HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                   "Connection: keep-alive\r\n\r\n";

const std::string kStopRequest = "GET /action?zone=3001&operation=stop HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                 "Connection: keep-alive\r\n\r\n";

// The minimal server: answers every request at once from the connection's
// thread. Its latency is what any route's own cost adds to.
class StaticServer
{
public:
    explicit StaticServer(int clients)
    {
        m_server.setObserver(&m_observer);
        RDHttpServerConfigure config;
        config.host = "127.0.0.1";
        config.maxConnections = clients + 8;
        for (int i = 0; i < 20 && !m_started; ++i) {
            config.port = freePort();
            m_server.setConfigure(config);
            m_started = m_server.start() == 0;
        }
        m_port = config.port;
    }
    ~StaticServer() { m_server.stop(); }
    bool started() const { return m_started; }
    int port() const { return m_port; }

private:
    StaticObserver m_observer;
    RDHttpStreamServer m_server;
    bool m_started = false;
    int m_port = 0;
};

void BM_HttpKeepAliveStaticAnswer(benchmark::State &state)
{
    const int clients = static_cast<int>(state.range(0));
    StaticServer server(clients);
    if (!server.started()) {
        state.SkipWithError("server did not start");
        return;
    }
    runClients(state, server.port(), clients, BenchSmoke::size(20, 2), kActionRequest);
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
// Every request looks the zone up, hands the start or stop to the switch
// manager and writes an event-log record.
class ProgramWithSwitch
{
public:
    ProgramWithSwitch()
    {
        const QString bin = QFileInfo(QFile::symLinkTarget(QStringLiteral("/proc/self/exe"))).dir().absolutePath()
            + QStringLiteral("/..");
        const QString switchDir = m_work.path() + QStringLiteral("/RUVIDAZA");
        if (!copyTree(bin + QStringLiteral("/RUVIDAZA"), switchDir)) {
            m_error = "no switch package beside the benchmarks";
            return;
        }
        for (const char *runtime : {"/db", "/log", "/run"}) {
            QDir(switchDir + QLatin1String(runtime)).removeRecursively();
            QDir().mkpath(switchDir + QLatin1String(runtime));
        }
        m_oldDataDir = VDB::dataDir();
        VDB::setDataDir(m_work.path() + QStringLiteral("/database"));
        m_httpPort = freePort();
        {
            VelmarDB db(true);
            db.checkUpgrade();
            PALogDB log(true);
            log.checkUpgrade();
            RDConfigure conf;
            conf.setHttpServerPort(m_httpPort);
            conf.setHttpApiEnable(true);
        }
        PASipManager::createInstance(QStringLiteral("127.0.0.1"));
        m_fs = FSManager::createInstance();
        m_fs->setDirectory(switchDir);
        m_fs->setHttpPort(m_httpPort);
        m_fs->setNetwork(QStringLiteral("127.0.0.1"), QStringLiteral("255.0.0.0"), freePort(), false,
                         QStringLiteral("127.0.0.1"), freePort(), QStringLiteral("PCMU,PCMA"));
        m_fs->setRtpPortRange(31400, 31500);
        Velmar::createInstance();
        Velmar *velmar = Velmar::instance();
        RDGroup zone;
        zone.name = QStringLiteral("Bench zone");
        zone.conference = QStringLiteral("3001");
        zone.source = QStringLiteral("media");
        velmar->addGroup(zone);
        const bool up = m_fs->start() && waitFor([&] { return m_fs->isReady(); }, 60000)
            && waitFor([&] { return velmar->isHttpServerRunning() && !velmar->isRestartPending(); }, 20000);
        if (!up)
            m_error = "switch or HTTP server did not start";
    }

    ~ProgramWithSwitch()
    {
        if (!m_fs)
            return;
        Velmar::destroyInstance();
        m_fs->stop();
        PASipManager::destroyInstance();
        FSManager::destroyInstance();
        VDB::setDataDir(m_oldDataDir);
    }

    const char *error() const { return m_error; }
    int httpPort() const { return m_httpPort; }

    static long long logRows()
    {
        PALogDB log(true);
        return log.countLogs(QString(), QString(), QString());
    }

private:
    QTemporaryDir m_work;
    QString m_oldDataDir;
    FSManager *m_fs = nullptr;
    int m_httpPort = 0;
    const char *m_error = nullptr;
};

void BM_HttpKeepAliveActionStart(benchmark::State &state)
{
    const int clients = static_cast<int>(state.range(0));
    ProgramWithSwitch program;
    if (program.error()) {
        state.SkipWithError(program.error());
        return;
    }
    const long long before = ProgramWithSwitch::logRows();
    runClients(state, program.httpPort(), clients, BenchSmoke::size(20, 2), kActionRequest);
    // Every answered start leaves one event-log record (warm-up requests included).
    const long long expected = static_cast<long long>(state.iterations()) * clients * 21;
    state.counters["log_rows_missing"] = static_cast<double>(expected - (ProgramWithSwitch::logRows() - before));
}
// The program's server holds at most 64 connections (kDefaultMaxConnections)
// and lets the longest-idle one go for a newcomer, so the route is measured at
// that many kept-alive clients; the static answer above runs at 64 as well.
BENCHMARK(BM_HttpKeepAliveActionStart)->Arg(64)->Iterations(BenchSmoke::count(5))->Unit(benchmark::kMillisecond)->UseRealTime();

// Starts and stops in turn on every kept-alive client, against the static
// answer measured in the same run: "p99_ratio" is the route's p99 over the
// static answer's p99 (goal: at most 2), "log_rows_missing" the answered
// requests that left no event-log record (goal: 0). With one client the
// figures are the route's own cost, without waiting behind other requests.
// 100 requests a client over 20 rounds give 128,000 timed requests a side:
// each p99 is then the 1,280th slowest answer, not one hiccup of the machine.
void BM_HttpKeepAliveActionStartStopVsStatic(benchmark::State &state)
{
    const int clients = static_cast<int>(state.range(0));
    const int perClient = BenchSmoke::size(100, 2);
    ProgramWithSwitch program;
    StaticServer reference(clients);
    if (program.error() || !reference.started()) {
        state.SkipWithError(program.error() ? program.error() : "static server did not start");
        return;
    }
    std::vector<double> action;
    std::vector<double> plain;
    long long answered = 0;
    double seconds = 0;
    const long long before = ProgramWithSwitch::logRows();
    // What a round leaves behind (event-log records still to write, account
    // changes and hang-ups still settling) is done before the next round
    // begins, so that neither side is timed while the other's work runs.
    auto quiet = [] {
        PALogDB::flushLog();
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    };
    for (auto _ : state) {
        const Round still = runRound(reference.port(), clients, perClient, {kActionRequest, kStopRequest});
        quiet();
        const Round route = runRound(program.httpPort(), clients, perClient, {kActionRequest, kStopRequest});
        quiet();
        if (still.failed || route.failed) {
            state.SkipWithError("a client failed");
            return;
        }
        plain.insert(plain.end(), still.latencies.begin(), still.latencies.end());
        action.insert(action.end(), route.latencies.begin(), route.latencies.end());
        answered += route.answered;
        seconds += route.seconds;
    }
    const double actionP99 = percentile(action, 99);
    const double plainP99 = percentile(plain, 99);
    state.counters["req_per_s"] = static_cast<double>(action.size()) / seconds;
    state.counters["p50_us"] = percentile(action, 50);
    state.counters["p99_us"] = actionP99;
    state.counters["static_p50_us"] = percentile(plain, 50);
    state.counters["static_p99_us"] = plainP99;
    state.counters["p99_ratio"] = plainP99 > 0 ? actionP99 / plainP99 : 0;
    state.counters["log_rows_missing"] = static_cast<double>(answered - (ProgramWithSwitch::logRows() - before));
}
BENCHMARK(BM_HttpKeepAliveActionStartStopVsStatic)->Arg(1)->Arg(64)->Iterations(BenchSmoke::count(20))->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarksInQtApplication(argc, argv);
}
