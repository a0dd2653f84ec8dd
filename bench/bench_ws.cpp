// WebSocket transport: event fan-out to 200 sessions, and the frame parser.
#include "BenchWsClient.h"
#include "KelServerObserver.h"
#include "RDSocketAddress.h"
#include "WSFrame.h"
#include "WSFrameParser.h"
#include "WSServer.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

struct CountingObserver : KelServerObserver {
    std::atomic<int> connected{0};
    void onSessionConnected(KelServer *, std::shared_ptr<KelClient>) override { ++connected; }
};

void BM_WsEventFanOut200Sessions(benchmark::State &state)
{
    const int sessions = 200;
    WSServer server;
    CountingObserver observer;
    server.addObserver(&observer);
    server.setAddress(RDSocketAddress("127.0.0.1", 0));
    server.setMaxSessions(sessions);
    if (!server.start()) {
        state.SkipWithError("listen failed");
        return;
    }
    std::vector<int> fds;
    for (int i = 0; i < sessions; ++i) {
        const int fd = BenchWs::connectTo(server.listenPort());
        if (fd < 0 || !BenchWs::handshake(fd)) {
            state.SkipWithError("connect failed");
            return;
        }
        fds.push_back(fd);
    }
    const std::string event = "{\"event\":\"GroupStarted\",\"data\":{\"id\":12,\"conference\":\"3012\"}}";
    // Server frames carry a 4-byte mask: header 2 + 4 for this size.
    const size_t frameSize = event.size() + 6;
    for (auto _ : state) {
        server.send(event.data(), int(event.size()));
        for (int fd : fds) {
            std::string buf;
            if (!BenchWs::readAtLeast(fd, frameSize, buf)) {
                state.SkipWithError("event not received");
                break;
            }
        }
    }
    state.counters["sessions"] = sessions;
    for (int fd : fds)
        ::close(fd);
    server.stop();
}
BENCHMARK(BM_WsEventFanOut200Sessions)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(50);

void BM_WsParseMaskedFrame(benchmark::State &state)
{
    const std::string payload(size_t(state.range(0)), 'x');
    const std::string wire = WSFrame::encode(WSFrame::Text, payload, true);
    WSFrameParser parser;
    for (auto _ : state) {
        WSFrameParser::Frame f;
        auto r = parser.parse(reinterpret_cast<const uint8_t *>(wire.data()), wire.size(), f);
        benchmark::DoNotOptimize(r);
        benchmark::DoNotOptimize(f.payload.data());
    }
    state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(wire.size()));
}
BENCHMARK(BM_WsParseMaskedFrame)->Arg(128)->Arg(4096)->Arg(65536);

} // namespace

BENCHMARK_MAIN();
