// Switch media figures.
//
// Mixing cost per member, next to the bare codec work in the same run: a
// speaking member costs at least one decode and one encode per 20 ms frame
// (BM_BareDecodeEncode); BM_MixPerMember is what the switch spends per
// member and frame on top of that: receiving, rate conversion, the sum,
// encoding and sending. Muted members share one encoding per codec.
//
// BM_TwentyConferences runs the real media engine in real time: 200 legs in
// 20 conferences of 1 speaker and 9 muted devices, every leg fed 50 packets
// a second from loopback, and reports the engine's share of one core.
#include "BenchSmoke.h"
#include "ConferenceMixer.h"
#include "MediaLeg.h"
#include "RtpPacket.h"
#include "SipAudioDecoder.h"
#include "SipAudioEncoder.h"
#include "SipPayload.h"
#include "SwitchMedia.h"

#include <benchmark/benchmark.h>

#include <arpa/inet.h>
#include <atomic>
#include <chrono>
#include <cmath>
#include <ctime>
#include <memory>
#include <netinet/in.h>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

const MediaCodec kCodecs[] = {
    {"opus", 102, 48000, 2, ""}, {"G722", 9, 8000, 1, ""}, {"PCMU", 0, 8000, 1, ""}, {"PCMA", 8, 8000, 1, ""}};

int pcmRate(const MediaCodec &c)
{
    return c.name == "G722" ? 8000 : c.clockRate;
}

// Fifty 20 ms payloads of a speech-like signal in `c`.
std::vector<std::vector<uint8_t>> payloads(const MediaCodec &c)
{
    const SipPayload payload(c.name.c_str(), c.payloadType, c.clockRate, c.channels);
    std::unique_ptr<SipAudioEncoder> encoder(SipAudioEncoder::create(payload));
    const int n = pcmRate(c) / 50;
    std::vector<std::vector<uint8_t>> out;
    std::vector<int16_t> pcm(size_t(n) * c.channels);
    for (int f = 0; f < 50; ++f) {
        for (int i = 0; i < n; ++i) {
            const double t = double(f * n + i) / pcmRate(c);
            const double v = 6000 * std::sin(2 * M_PI * 220 * t) * (0.6 + 0.4 * std::sin(2 * M_PI * 3 * t))
                + 2000 * std::sin(2 * M_PI * 1300 * t);
            for (int ch = 0; ch < c.channels; ++ch) {
                pcm[size_t(i) * c.channels + ch] = int16_t(v);
            }
        }
        std::vector<uint8_t> bytes(1500);
        bytes.resize(std::max(0, encoder->encode(pcm.data(), int(pcm.size() * 2), bytes.data(), int(bytes.size()))));
        out.push_back(bytes);
    }
    return out;
}

// A UDP socket on an even loopback port that nobody reads: where the
// switch's legs send in these runs.
struct Sink
{
    int fd = -1;
    int port = 0;
    Sink()
    {
        std::mt19937 random{std::random_device{}()};
        for (int attempt = 0; attempt < 200 && port == 0; ++attempt) {
            const int p = 42000 + 2 * int(random() % 9000);
            fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
            sockaddr_in a{};
            a.sin_family = AF_INET;
            a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            a.sin_port = htons(uint16_t(p));
            if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof(a)) == 0) {
                port = p;
            } else {
                ::close(fd);
                fd = -1;
            }
        }
    }
    ~Sink()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
};

// Sends RTP packets of one stream to a loopback port.
struct Feeder
{
    int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_in dest{};
    uint16_t seq = 1;
    uint32_t ts = 0;
    uint32_t ssrc;
    explicit Feeder(int port, uint32_t ssrc_) : ssrc(ssrc_)
    {
        dest.sin_family = AF_INET;
        dest.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        dest.sin_port = htons(uint16_t(port));
    }
    Feeder(Feeder &&o) noexcept : fd(o.fd), dest(o.dest), seq(o.seq), ts(o.ts), ssrc(o.ssrc) { o.fd = -1; }
    ~Feeder()
    {
        if (fd >= 0) {
            ::close(fd);
        }
    }
    void send(const MediaCodec &c, const std::vector<uint8_t> &payload)
    {
        uint8_t packet[2048];
        const int n = RtpPacket::write(uint8_t(c.payloadType), false, seq++, ts, ssrc, payload.data(),
                                       int(payload.size()), packet, sizeof(packet));
        ts += uint32_t(c.clockRate / 50);
        ::sendto(fd, packet, n, 0, reinterpret_cast<const sockaddr *>(&dest), sizeof(dest));
    }
};

double threadCpuSeconds()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return t.tv_sec + t.tv_nsec / 1e9;
}

double processCpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

// One decode and one encode of a 20 ms frame with the codec library alone.
void BM_BareDecodeEncode(benchmark::State &state)
{
    const MediaCodec &c = kCodecs[state.range(0)];
    const auto packets = payloads(c);
    const SipPayload payload(c.name.c_str(), c.payloadType, c.clockRate, c.channels);
    std::unique_ptr<SipAudioEncoder> encoder(SipAudioEncoder::create(payload));
    std::unique_ptr<SipAudioDecoder> decoder(SipAudioDecoder::create(payload));
    std::vector<int16_t> pcm(5760 * 2);
    uint8_t out[1500];
    size_t i = 0;
    for (auto _ : state) {
        const auto &p = packets[i++ % packets.size()];
        const int bytes = decoder->decode(p.data(), int(p.size()), pcm.data(), int(pcm.size() * 2));
        benchmark::DoNotOptimize(encoder->encode(pcm.data(), bytes, out, sizeof(out)));
    }
    state.SetLabel(c.name);
}

// One mix frame of a conference of 10 members in one codec, all speaking
// (range 1 = 0) or all muted (range 1 = 1); the time per member.
void BM_MixPerMember(benchmark::State &state)
{
    const MediaCodec &c = kCodecs[state.range(0)];
    const bool muted = state.range(1) != 0;
    constexpr int kMembers = 10;
    const auto packets = payloads(c);
    Sink sink;
    std::vector<std::unique_ptr<MediaLeg>> legs;
    std::vector<Feeder> feeders;
    ConferenceMixer mixer("bench");
    std::mt19937 random{std::random_device{}()};
    for (int m = 0; m < kMembers; ++m) {
        auto leg = std::make_unique<MediaLeg>("leg" + std::to_string(m));
        int port = 0;
        for (int attempt = 0; attempt < 200 && !port; ++attempt) {
            const int p = 30000 + 2 * int(random() % 5000);
            port = leg->open("127.0.0.1", p) ? p : 0;
        }
        if (!port || !leg->start("bench", c, "127.0.0.1", sink.port)) {
            state.SkipWithError("no RTP port");
            return;
        }
        leg->setMuted(muted);
        mixer.addLeg(leg.get());
        feeders.emplace_back(port, 1000u + unsigned(m));
        legs.push_back(std::move(leg));
    }
    size_t frame = 0;
    for (auto _ : state) {
        state.PauseTiming();
        for (Feeder &f : feeders) {
            f.send(c, packets[frame % packets.size()]);
        }
        ++frame;
        state.ResumeTiming();
        for (auto &leg : legs) {
            leg->pump();
        }
        mixer.tick();
    }
    state.counters["per_member"] =
        benchmark::Counter(double(state.iterations()) * kMembers, benchmark::Counter::kIsRate |
                                                                            benchmark::Counter::kInvert);
    state.SetLabel(c.name + (muted ? " muted" : " speaking"));
}

// 200 legs in 20 conferences, in real time. Range 0: the devices' codec.
void BM_TwentyConferences(benchmark::State &state)
{
    const MediaCodec &device = kCodecs[state.range(0)];
    const MediaCodec &speakerCodec = kCodecs[0];
    const int seconds = BenchSmoke::on() ? 1 : 10;
    const auto speakerPackets = payloads(speakerCodec);
    const auto devicePackets = payloads(device);
    for (auto _ : state) {
        Sink sink;
        SwitchMedia media("127.0.0.1", 30000, 40000);
        struct Stream
        {
            const MediaCodec *codec;
            Feeder feeder;
        };
        std::vector<Stream> streams;
        for (int conf = 0; conf < 20; ++conf) {
            for (int m = 0; m < 10; ++m) {
                const std::string uuid = std::to_string(conf) + "-" + std::to_string(m);
                const MediaCodec &c = m == 0 ? speakerCodec : device;
                const int port = media.openLeg(uuid);
                media.setLegMuted(uuid, m != 0);
                if (port < 0 || !media.startLeg(uuid, "conf" + std::to_string(conf), c, "127.0.0.1", sink.port)) {
                    state.SkipWithError("no RTP port");
                    return;
                }
                streams.push_back({&c, Feeder(port, unsigned(conf * 100 + m))});
            }
        }
        // Every peer sends a frame every 20 ms, from one thread whose own
        // CPU is measured and left out.
        std::atomic<bool> run{true};
        double feederCpu = 0;
        std::thread feeder([&] {
            const double start = threadCpuSeconds();
            auto next = std::chrono::steady_clock::now();
            size_t frame = 0;
            while (run) {
                for (Stream &s : streams) {
                    const auto &p = s.codec == &speakerCodec ? speakerPackets : devicePackets;
                    s.feeder.send(*s.codec, p[frame % p.size()]);
                }
                ++frame;
                next += std::chrono::milliseconds(20);
                std::this_thread::sleep_until(next);
            }
            feederCpu = threadCpuSeconds() - start;
        });
        const double cpu0 = processCpuSeconds();
        const auto t0 = std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::chrono::seconds(seconds));
        run = false;
        feeder.join();
        const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
        const double engineCpu = processCpuSeconds() - cpu0 - feederCpu;
        state.counters["engine_core_pct"] = 100.0 * engineCpu / wall;
        state.counters["feeder_core_pct"] = 100.0 * feederCpu / wall;
    }
    state.SetLabel("speakers opus, devices " + device.name);
}

} // namespace

BENCHMARK(BM_BareDecodeEncode)->DenseRange(0, 3)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_MixPerMember)->ArgsProduct({{0, 1, 2, 3}, {0, 1}})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_TwentyConferences)->DenseRange(0, 3)->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
