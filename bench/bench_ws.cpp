// WebSocket transport: event fan-out to 200 sessions, and the frame parser.
#include "BenchSmoke.h"
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

int connectTo(int port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool readAtLeast(int fd, size_t n, std::string &buf)
{
    char chunk[4096];
    while (buf.size() < n) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, 5000) <= 0)
            return false;
        const ssize_t r = ::recv(fd, chunk, sizeof chunk, 0);
        if (r <= 0)
            return false;
        buf.append(chunk, size_t(r));
    }
    return true;
}

bool handshake(int fd)
{
    const std::string req = "GET / HTTP/1.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                            "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n\r\n";
    if (::send(fd, req.data(), req.size(), MSG_NOSIGNAL) != ssize_t(req.size()))
        return false;
    std::string buf;
    while (buf.find("\r\n\r\n") == std::string::npos) {
        if (!readAtLeast(fd, buf.size() + 1, buf))
            return false;
    }
    return buf.compare(0, 12, "HTTP/1.1 101") == 0;
}

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
        const int fd = connectTo(server.listenPort());
        if (fd < 0 || !handshake(fd)) {
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
            if (!readAtLeast(fd, frameSize, buf)) {
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
BENCHMARK(BM_WsEventFanOut200Sessions)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(BenchSmoke::count(50));

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
