// JSON command API: request round trip over a loopback WebSocket session
// (client frame in, reply frame out), and the handler alone. Zones come from
// an in-memory target: the figures are the protocol's cost, not the
// database's.
#include "BenchWsClient.h"
#include "KelClient.h"
#include "KelServer.h"
#include "KelServerObserver.h"
#include "RDSocketAddress.h"
#include "VelmarAPI.h"
#include "VelmarAPITarget.h"
#include "WSFrame.h"
#include "WSFrameParser.h"
#include "WSServer.h"

#include <benchmark/benchmark.h>

#include <QtGlobal>

#include <arpa/inet.h>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// 20 zones of 4 devices each, 3 media items.
class MemoryTarget : public VelmarAPITarget
{
public:
    MemoryTarget()
    {
        for (int i = 1; i <= 20; ++i) {
            RDGroup g;
            g.id = i;
            g.name = QStringLiteral("Zone %1").arg(i);
            g.conference = QString::number(3000 + i);
            g.source = QStringLiteral("media");
            g.mediaList = {QStringLiteral("one.mp3"), QStringLiteral("two.mp3"), QStringLiteral("three.mp3")};
            for (int d = 0; d < 4; ++d) {
                RDDevice dev;
                dev.id = i * 10 + d;
                dev.name = QStringLiteral("Speaker %1").arg(dev.id);
                dev.number = QString::number(6000 + dev.id);
                dev.password = QStringLiteral("pw%1").arg(dev.id);
                g.deviceList.append(dev);
            }
            m_groups.append(g);
        }
    }
    QVector<RDGroup> getGroups() override { return m_groups; }
    RDGroup getGroupById(int id) override { return id >= 1 && id <= m_groups.size() ? m_groups[id - 1] : RDGroup(); }
    void startApiGroup(const RDGroup &) override {}
    void stopGroup(const RDGroup &, const QString &) override {}
    void startTalkGroup(const RDGroup &, const std::shared_ptr<KelClient> &) override {}
    void stopTalkGroup(const RDGroup &, const std::shared_ptr<KelClient> &) override {}
    void startListenGroup(const RDGroup &, const std::shared_ptr<KelClient> &) override {}
    void stopListenGroup(const RDGroup &, const std::shared_ptr<KelClient> &) override {}
    QString installationUid() override { return QStringLiteral("bench"); }

private:
    QVector<RDGroup> m_groups;
};

struct ApiObserver : KelServerObserver {
    VelmarAPI api{std::unique_ptr<VelmarAPITarget>(new MemoryTarget)};
    void onSessionData(KelServer *server, std::shared_ptr<KelClient> session, const KelPacket &packet) override
    {
        if (const uint8_t *bytes = packet.bytes())
            api.handleRequest(server, session, QByteArray(reinterpret_cast<const char *>(bytes), packet.size()));
    }
};

bool readMore(int fd, std::string &buf)
{
    char chunk[16384];
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 5000) <= 0)
        return false;
    const ssize_t r = ::recv(fd, chunk, sizeof chunk, 0);
    if (r <= 0)
        return false;
    buf.append(chunk, size_t(r));
    return true;
}

// Sends one request frame and reads until one whole reply frame is in.
bool roundTrip(int fd, const std::string &frame, const WSFrameParser &parser, std::string &buf)
{
    if (::send(fd, frame.data(), frame.size(), MSG_NOSIGNAL) != ssize_t(frame.size()))
        return false;
    for (;;) {
        WSFrameParser::Frame reply;
        const WSFrameParser::Result r =
            parser.parse(reinterpret_cast<const uint8_t *>(buf.data()), buf.size(), reply);
        if (r.status == WSFrameParser::Status::Ok) {
            buf.erase(0, r.consumed);
            return true;
        }
        if (r.status == WSFrameParser::Status::Bad || !readMore(fd, buf))
            return false;
    }
}

void BM_JsonRequestRoundTrip(benchmark::State &state, const char *request)
{
    WSServer server;
    ApiObserver observer;
    server.addObserver(&observer);
    server.setAddress(RDSocketAddress("127.0.0.1", 0));
    if (!server.start()) {
        state.SkipWithError("listen failed");
        return;
    }
    const int fd = BenchWs::connectTo(server.listenPort());
    if (fd < 0 || !BenchWs::handshake(fd)) {
        state.SkipWithError("connect failed");
        server.stop();
        return;
    }
    const std::string frame = WSFrame::encode(WSFrame::Text, std::string(request), true);
    const WSFrameParser parser(1 << 20, false);
    std::string buf;
    for (auto _ : state) {
        if (!roundTrip(fd, frame, parser, buf)) {
            state.SkipWithError("no reply");
            break;
        }
    }
    ::close(fd);
    server.stop();
}
BENCHMARK_CAPTURE(BM_JsonRequestRoundTrip, GetDeviceInfo, "{\"method\":\"GetDeviceInfo\",\"id\":1}")
    ->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK_CAPTURE(BM_JsonRequestRoundTrip, GetGroup20Zones, "{\"method\":\"GetGroup\",\"id\":1}")
    ->Unit(benchmark::kMicrosecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);

class NullSession : public KelClient
{
public:
    void send(const void *, int length) override { benchmark::DoNotOptimize(length); }
    void queueData(const KelPacket &) override {}
    void queueAudio(const KelAudioFrame &) override {}
    void takeAudio(KelAudioFrame &frame) override { frame.reset(); }
};

class NullServer : public KelServer
{
public:
    bool start() override { return true; }
    void stop() override {}
    bool isStarted() const override { return true; }
    bool isListening() const override { return true; }
    void send(const void *, int) override {}
};

// The handler alone: parse, dispatch, build and serialise the reply.
void BM_JsonHandleGetGroup(benchmark::State &state)
{
    VelmarAPI api(std::unique_ptr<VelmarAPITarget>(new MemoryTarget));
    NullServer server;
    auto session = std::make_shared<NullSession>();
    const QByteArray request("{\"method\":\"GetGroup\",\"id\":1}");
    for (auto _ : state)
        api.handleRequest(&server, session, request);
}
BENCHMARK(BM_JsonHandleGetGroup)->Unit(benchmark::kMicrosecond);

void quiet(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

// Every request writes two log lines; they are dropped here so the figures
// are not those of the terminal.
int main(int argc, char **argv)
{
    qInstallMessageHandler(quiet);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    return 0;
}
