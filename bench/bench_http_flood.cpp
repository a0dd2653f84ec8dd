// HTTP server under a connection flood: the time a real "/action" takes to
// be answered while hundreds of idle or half-sent connections, opened just
// before it, are held open by another host.
#include "RDHttpBaseRequest.h"
#include "RDHttpConnection.h"
#include "RDHttpStreamServer.h"
#include "RDHttpTextResponse.h"
#include "WSRawClient.h"

#include "BenchQuietMain.h"

#include <benchmark/benchmark.h>

#include <QtGlobal>

#include <chrono>
#include <memory>
#include <unistd.h>
#include <vector>

namespace {

class OkObserver : public RDHttpStreamServerObserver
{
public:
    void handleRequest(RDHttpStreamServer *, RDHttpConnection *connection, RDHttpBaseRequest *) override
    {
        RDHttpTextResponse response;
        response.setText("ok");
        connection->sendResponse(response);
    }
};

// Listens on a loopback port not in use (tried from a spread start).
bool startOnFreePort(RDHttpStreamServer &server, int &port)
{
    RDHttpServerConfigure config;
    config.host = "127.0.0.1";
    for (int attempt = 0; attempt < 100; ++attempt) {
        config.port = 20000 + (int(::getpid()) * 7 + attempt * 131) % 20000;
        server.setConfigure(config);
        if (server.start() == 0) {
            port = config.port;
            return true;
        }
    }
    return false;
}

void BM_HttpActionUnderIdleFlood(benchmark::State &state)
{
    const int flood = int(state.range(0));
    for (auto _ : state) {
        OkObserver observer;
        RDHttpStreamServer server;
        server.setObserver(&observer);
        int port = 0;
        if (!startOnFreePort(server, port)) {
            state.SkipWithError("no free port");
            return;
        }
        std::vector<std::unique_ptr<PaTest::WSRawClient>> attackers;
        for (int i = 0; i < flood; ++i) {
            attackers.push_back(std::make_unique<PaTest::WSRawClient>(port, 0, false));
            if (i % 2)
                attackers.back()->sendAll("GET /action?zone=3001 HTTP/1.1\r\nHost: 127.0.0.1\r\n");
        }
        const auto t0 = std::chrono::steady_clock::now();
        PaTest::WSRawClient real(port);
        real.sendAll("GET /action?zone=3001&operation=start HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        const bool answered = real.readUntil([](const std::string &b) { return b.find("\r\n\r\nok") != std::string::npos; }, 30000);
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        if (!answered) {
            const std::string got = "no answer after " + std::to_string(int(seconds * 1000)) + " ms; got \""
                                    + real.buffer.substr(0, real.buffer.find('\r')) + "\"";
            state.SkipWithError(got.c_str());
            return;
        }
        state.SetIterationTime(seconds);
        attackers.clear();
        server.stop();
    }
    state.counters["flood"] = flood;
}
BENCHMARK(BM_HttpActionUnderIdleFlood)->Arg(300)->Arg(1000)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarksQuietly(argc, argv);
}
