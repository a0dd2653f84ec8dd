// HTTP server figures: requests per second and latency percentiles with 100
// concurrent keep-alive clients on loopback, answered by a minimal static
// observer (the baseline that any route's own cost adds to).
#include "RDHttpBaseRequest.h"
#include "RDHttpConnection.h"
#include "RDHttpStreamServer.h"
#include "RDHttpTextResponse.h"

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

void BM_HttpKeepAliveStaticAnswer(benchmark::State &state)
{
    const int clients = static_cast<int>(state.range(0));
    const int perClient = 20;
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
    const std::string request = "GET /action?zone=3001&operation=start HTTP/1.1\r\nHost: 127.0.0.1\r\n"
                                "Connection: keep-alive\r\n\r\n";
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
                const int fd = connectTo(config.port);
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
    server.stop();
    if (latencies.empty())
        return;
    std::sort(latencies.begin(), latencies.end());
    state.counters["req_per_s"] = static_cast<double>(total) / seconds;
    state.counters["p50_us"] = latencies[latencies.size() / 2];
    state.counters["p99_us"] = latencies[latencies.size() * 99 / 100];
}
BENCHMARK(BM_HttpKeepAliveStaticAnswer)->Arg(100)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
