// Camera search figures against the loopback camera: one search (probe,
// answers collected for a short window), one camera's queries (device
// information, capabilities, profiles and both stream addresses), and the
// answer reader alone on a profile list.
//
//   bench_onvif              full run
//   PA_BENCH_SMOKE=1 ...     (with --benchmark_min_time=0.001) one short pass
#include "BenchQtMain.h"
#include "QOnvif.h"
#include "QOnvifAnswer.h"
#include "QOnvifFakeCamera.h"

namespace {

const QString kUser = QStringLiteral("admin");
const QString kPassword = QStringLiteral("p@ss:word");

QOnvifFakeCamera &camera()
{
    static QOnvifFakeCamera *fake = [] {
        auto *c = new QOnvifFakeCamera(kUser, kPassword);
        c->setProfiles({{QStringLiteral("main"), QStringLiteral("Main"), QStringLiteral("rtsp://127.0.0.1:554/main")},
                        {QStringLiteral("sub"), QStringLiteral("Sub"), QStringLiteral("rtsp://127.0.0.1:554/sub")}});
        c->start();
        QOnvif::setProbeTarget(QHostAddress::LocalHost, c->probePort());
        return c;
    }();
    return *fake;
}

// A search with an answer window of state.range(0) ms: the figure is the
// window plus the probe's own cost.
void BM_Search(benchmark::State &state)
{
    camera();
    QOnvif::setProbeWindow(int(state.range(0)));
    for (auto _ : state) {
        int found = 0;
        QOnvif().search(QStringLiteral("127.0.0.1"), 3, [&](const QOnvifDevice &) { ++found; });
        if (found != 1)
            state.SkipWithError("camera not found");
    }
}
BENCHMARK(BM_Search)->Arg(20)->Arg(100)->Unit(benchmark::kMillisecond)->UseRealTime();

// Everything the search dialog asks one camera: five signed SOAP calls.
void BM_ReadProfiles(benchmark::State &state)
{
    QOnvifDevice found(camera().deviceAddress(), camera().endpoint());
    for (auto _ : state) {
        QOnvifDevice device(found);
        device.setAuthentication(kUser, kPassword);
        if (device.getInfo() != 0 || device.getCapabilities() != 0 || device.getProfiles() != 0) {
            state.SkipWithError("query failed");
            break;
        }
        for (QOnvifDeviceProfile &profile : device.profiles())
            device.getProfileMediaUri(profile);
        if (device.profiles().size() != 2 || device.profiles()[1].uri().isEmpty()) {
            state.SkipWithError("profiles not read");
            break;
        }
    }
}
BENCHMARK(BM_ReadProfiles)->Unit(benchmark::kMillisecond)->UseRealTime();

// The reader on a profile list of state.range(0) profiles.
void BM_ParseProfiles(benchmark::State &state)
{
    QByteArray answer = "<?xml version=\"1.0\"?><s:Envelope xmlns:s=\"http://www.w3.org/2003/05/soap-envelope\""
                        " xmlns:trt=\"urn:trt\" xmlns:tt=\"urn:tt\"><s:Body><trt:GetProfilesResponse>";
    for (int i = 0; i < state.range(0); ++i) {
        answer += "<trt:Profiles token=\"p" + QByteArray::number(i) + "\"><tt:Name>Profile " + QByteArray::number(i)
            + "</tt:Name><tt:VideoSourceConfiguration token=\"v\"><tt:Name>V</tt:Name><tt:SourceToken>s</tt:SourceToken>"
              "<tt:Bounds x=\"0\" y=\"0\" width=\"1920\" height=\"1080\"/></tt:VideoSourceConfiguration>"
              "<tt:VideoEncoderConfiguration token=\"e\"><tt:Name>E</tt:Name><tt:Encoding>H264</tt:Encoding>"
              "<tt:Resolution><tt:Width>1920</tt:Width><tt:Height>1080</tt:Height></tt:Resolution>"
              "</tt:VideoEncoderConfiguration></trt:Profiles>";
    }
    answer += "</trt:GetProfilesResponse></s:Body></s:Envelope>";
    for (auto _ : state) {
        QVector<QOnvifDeviceProfile> profiles;
        QString error;
        if (!QOnvifAnswer::parseProfiles(answer, &profiles, &error) || profiles.size() != state.range(0))
            state.SkipWithError("parse failed");
        benchmark::DoNotOptimize(profiles);
    }
    state.SetBytesProcessed(state.iterations() * answer.size());
}
BENCHMARK(BM_ParseProfiles)->Arg(2)->Arg(64)->Unit(benchmark::kMicrosecond);

} // namespace

int main(int argc, char **argv)
{
    return runBenchmarksInQtApplication(argc, argv);
}
