// How many Opus calls one core carries: N pairs of calls talk to each other
// over loopback RTP (each call encodes and sends 50 frames/s and receives
// and decodes 50 frames/s), and the process's CPU time is compared with the
// wall time. Also reports the packets each call received and the largest
// gap between two received packets.
//
//   bench_sip_calls [pairs=20] [seconds=5] 2>/dev/null   (the calls log to stderr)
#include "BenchSmoke.h"
#include "RtpPacket.h"
#include "SipCall.h"
#include "SipPayload.h"
#include "SipRtpSession.h"
#include "SipStreamDevice.h"
#include "SipStreamFrame.h"

#include <sys/resource.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace {

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// An endless 48 kHz stereo source and a sink that notes arrival times.
class LoadDevice : public SipStreamDevice
{
public:
    LoadDevice()
    {
        for (int i = 0; i < 960; ++i) {
            const auto v = int16_t(6000 * std::sin(2 * M_PI * 440 * i / 48000.0));
            m_pcm[2 * i] = v;
            m_pcm[2 * i + 1] = v;
        }
    }
    SipStreamFrame *readAudio(int) override { return new SipStreamFrame(m_pcm, sizeof(m_pcm), 0.02); }
    int writeAudio(const int16_t *, int, uint32_t) override
    {
        const double t = now();
        if (m_last > 0 && m_counting) {
            m_maxGap = std::max(m_maxGap, t - m_last);
        }
        m_last = t;
        if (m_counting) {
            ++m_received;
        }
        return 0;
    }
    std::atomic<bool> m_counting{false};
    std::atomic<long> m_received{0};
    double m_maxGap = 0;

private:
    int16_t m_pcm[1920];
    double m_last = 0;
};

SipPayloadList *opusOnly()
{
    auto *l = new SipPayloadList;
    l->append(new SipPayload("opus", 102, 48000, 2));
    return l;
}

} // namespace

int main(int argc, char **argv)
{
    const int pairs = argc > 1 ? std::atoi(argv[1]) : BenchSmoke::size(20, 2);
    const double seconds = argc > 2 ? std::atof(argv[2]) : (BenchSmoke::on() ? 0.2 : 5.0);
    std::vector<std::unique_ptr<LoadDevice>> devices;
    std::vector<std::unique_ptr<SipCall>> calls;
    int port = 41000;
    for (int p = 0; p < pairs; ++p, port += 4) {
        std::unique_ptr<SipCall> a(new SipCall), b(new SipCall);
        a->setLocalPorts(port, 0);
        b->setLocalPorts(port + 2, 0);
        a->setRemoteAddress("127.0.0.1", port + 2, nullptr, 0);
        b->setRemoteAddress("127.0.0.1", port, nullptr, 0);
        for (SipCall *c : {a.get(), b.get()}) {
            c->setBindAddress("127.0.0.1");
            c->setLocalPayloads(opusOnly(), nullptr);
            c->setRemotePayloads(opusOnly(), nullptr);
            if (c->start() != 0) {
                std::fprintf(stderr, "call on port %d did not start\n", c->localAudioPort());
                return 1;
            }
            devices.emplace_back(new LoadDevice);
            c->setDevice(devices.back().get());
        }
        calls.push_back(std::move(a));
        calls.push_back(std::move(b));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    for (auto &d : devices) {
        d->m_counting = true;
    }
    const double c0 = cpuSeconds(), w0 = now();
    std::this_thread::sleep_for(std::chrono::duration<double>(seconds));
    const double cpu = cpuSeconds() - c0, wall = now() - w0;
    for (auto &d : devices) {
        d->m_counting = false;
    }
    long minReceived = -1;
    double maxGap = 0;
    for (auto &d : devices) {
        minReceived = minReceived < 0 ? d->m_received.load() : std::min(minReceived, d->m_received.load());
        maxGap = std::max(maxGap, d->m_maxGap);
    }
    const int n = int(calls.size());
    const double perCall = cpu / wall / n * 100.0;
    std::printf("calls %d  wall %.2f s  cpu %.2f s  => %.2f %% of a core per call (send+receive), "
                "%.0f calls per core\n",
                n, wall, cpu, perCall, 100.0 / perCall);
    std::printf("received per call: min %.1f packets/s; largest gap %.1f ms\n", minReceived / wall, maxGap * 1000);
    for (auto &c : calls) {
        c->stop();
    }
    return 0;
}
