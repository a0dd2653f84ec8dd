// P2P transport: a JSON round trip over a P2P session compared, in the same
// run, with one over a WebSocket connection (both servers echo the request
// from their observer), and the CPU the P2P session threads use while 16
// sessions sit idle.
#include "KelClient.h"
#include "KelServerObserver.h"
#include "P2PClient.h"
#include "P2PRendezvous.h"
#include "PlatformThreadStats.h"
#include "RDSocketAddress.h"
#include "TUTKServer.h"
#include "WSFrame.h"
#include "WSRawClient.h"
#include "WSServer.h"

#include <benchmark/benchmark.h>

#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

const std::string kRequest = "{\"method\":\"GetDeviceInfo\",\"id\":1}";
const char *const kUid = "BENCH-P2P-UID";

struct EchoObserver : KelServerObserver {
    std::atomic<int> connected{0};
    void onSessionConnected(KelServer *, std::shared_ptr<KelClient>) override { ++connected; }
    void onSessionData(KelServer *, std::shared_ptr<KelClient> session, const KelPacket &packet) override
    {
        session->send(packet.bytes(), packet.size());
    }
};

bool waitFor(const std::function<bool()> &done, int timeoutMs)
{
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// A P2P server logged in to an in-process rendezvous service.
struct P2PBed {
    P2PRendezvous rendezvous;
    TUTKServer server;
    EchoObserver observer;

    bool start(int maxSessions)
    {
        if (!rendezvous.start("127.0.0.1", 0, "73519046"))
            return false;
        server.addObserver(&observer);
        server.setUid(QLatin1String(kUid));
        server.setMaxSessions(maxSessions);
        server.setRendezvous(RDSocketAddress("127.0.0.1", rendezvous.port()));
        server.start();
        return waitFor([&] { return server.isListening(); }, 5000);
    }
    std::unique_ptr<P2PClient> connect()
    {
        auto app = std::make_unique<P2PClient>();
        app->setRendezvous("127.0.0.1", rendezvous.port());
        const int before = observer.connected;
        if (app->connect(kUid) != 0 || app->startAv("bench", "bench") != 0 ||
            !waitFor([&] { return observer.connected > before; }, 5000))
            return nullptr;
        return app;
    }
};

void BM_JsonRoundTripP2P(benchmark::State &state)
{
    P2PBed bed;
    if (!bed.start(3)) {
        state.SkipWithError("P2P server did not log in");
        return;
    }
    auto app = bed.connect();
    if (!app) {
        state.SkipWithError("app did not connect");
        return;
    }
    std::vector<char> buf(4096);
    for (auto _ : state) {
        unsigned type = 0;
        app->sendIOCtrl(2048, kRequest.data(), int(kRequest.size()));
        if (app->recvIOCtrl(&type, buf.data(), int(buf.size()), 5000) != int(kRequest.size())) {
            state.SkipWithError("no answer");
            break;
        }
    }
    app->close();
    bed.server.stop();
}
BENCHMARK(BM_JsonRoundTripP2P)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_JsonRoundTripWebSocket(benchmark::State &state)
{
    WSServer server;
    EchoObserver observer;
    server.addObserver(&observer);
    server.setAddress(RDSocketAddress("127.0.0.1", 0));
    if (!server.start()) {
        state.SkipWithError("listen failed");
        return;
    }
    PaTest::WSRawClient client(server.listenPort());
    if (!client.handshake()) {
        state.SkipWithError("connect failed");
        return;
    }
    const std::string frame = WSFrame::encode(WSFrame::Text, kRequest, true);
    // The answer: 2 header bytes and a 4-byte mask before the text.
    const size_t answer = kRequest.size() + 6;
    for (auto _ : state) {
        client.buffer.clear();
        if (!client.sendAll(frame) ||
            !client.readUntil([&](const std::string &b) { return b.size() >= answer; })) {
            state.SkipWithError("no answer");
            break;
        }
    }
    server.stop();
}
BENCHMARK(BM_JsonRoundTripWebSocket)->Unit(benchmark::kMicrosecond)->UseRealTime();

// Scheduler counters of one group of this process's threads, summed.
struct ThreadGroupCounters {
    int threads = 0;
    double cpuSeconds = 0;
    double wakeUps = 0;
};

ThreadGroupCounters threadGroup(const std::string &name, bool prefix = false)
{
    ThreadGroupCounters sum;
    for (const Platform::ThreadCounters &t : Platform::threadsNamed(name, prefix)) {
        ++sum.threads;
        sum.cpuSeconds += t.cpuSeconds;
        sum.wakeUps += double(t.wakeUps);
    }
    return sum;
}

void BM_P2PIdleCpu16Sessions(benchmark::State &state)
{
    const int sessions = 16;
    P2PBed bed;
    if (!bed.start(sessions)) {
        state.SkipWithError("P2P server did not log in");
        return;
    }
    std::vector<std::unique_ptr<P2PClient>> apps;
    for (int i = 0; i < sessions; ++i) {
        apps.push_back(bed.connect());
        if (!apps.back()) {
            state.SkipWithError("app did not connect");
            return;
        }
    }
    struct Group {
        const char *label;
        std::string name;
        bool prefix;
        ThreadGroupCounters before, after;
    };
    std::vector<Group> groups = {
        {"send", "TUTK Send", false, {}, {}},
        {"read", "TUTK Read", false, {}, {}},
        {"audio", "TUTK Read Audio", false, {}, {}},
        {"listen", "TUTK Listen", false, {}, {}},
        // The device's I/O thread and the 16 apps' own.
        {"io", "P2P I/O", false, {}, {}},
        {"process", "", true, {}, {}},
    };
    const double seconds = 3.0;
    for (auto _ : state) {
        for (Group &g : groups)
            g.before = threadGroup(g.name, g.prefix);
        std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
        for (Group &g : groups)
            g.after = threadGroup(g.name, g.prefix);
    }
    // Per cent of one core and wake-ups per second, per group and for the
    // three session groups together.
    double sessionCpu = 0, sessionWakeUps = 0;
    for (const Group &g : groups) {
        const double cpu = (g.after.cpuSeconds - g.before.cpuSeconds) / seconds * 100.0;
        const double wakeUps = (g.after.wakeUps - g.before.wakeUps) / seconds;
        state.counters[std::string(g.label) + "_pct"] = cpu;
        state.counters[std::string(g.label) + "_wakeups"] = wakeUps;
        if (g.name.compare(0, 5, "TUTK ") == 0 && g.name != "TUTK Listen") {
            sessionCpu += cpu;
            sessionWakeUps += wakeUps;
            state.counters[std::string(g.label) + "_threads"] = g.after.threads;
        }
    }
    state.counters["session_threads_pct"] = sessionCpu;
    state.counters["session_threads_wakeups"] = sessionWakeUps;
    state.counters["sessions"] = sessions;
    for (auto &app : apps)
        app->close();
    bed.server.stop();
}
BENCHMARK(BM_P2PIdleCpu16Sessions)->Unit(benchmark::kSecond)->UseRealTime()->Iterations(1);

} // namespace

BENCHMARK_MAIN();
