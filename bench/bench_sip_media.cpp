// SIP media figures: what one leg's encoder and packetiser cost per 20 ms
// frame, next to the bare codec library call with the same settings, and
// the full send including the loopback datagram.
//
// Per-frame time / 20 ms = share of one core that one leg's encoding takes.
#include "RtpPacket.h"
#include "RtpSession.h"
#include "SipAudioEncoder.h"
#include "SipG711.h"

#include <benchmark/benchmark.h>
#include <gsm.h>
#include <opus/opus.h>
extern "C" {
#include <spandsp.h>
}

#include <chrono>
#include <cmath>
#include <memory>
#include <vector>

namespace {

struct Codec
{
    const char *name;
    int number;
    int rate;
    int channels;
};
const Codec kCodecs[] = {{"opus", 102, 48000, 2}, {"G722", 9, 8000, 1}, {"GSM", 3, 8000, 1},
                         {"PCMU", 0, 8000, 1},    {"PCMA", 8, 8000, 1}};

// 20 ms of a music-like signal (three partials and a little noise).
std::vector<int16_t> frameOf(const Codec &c, int index)
{
    const int n = c.rate / 50;
    std::vector<int16_t> pcm(size_t(n) * c.channels);
    unsigned seed = 12345u + unsigned(index);
    for (int i = 0; i < n; ++i) {
        const double t = double(index * n + i) / c.rate;
        seed = seed * 1103515245u + 12345u;
        const double v = 6000 * std::sin(2 * M_PI * 220 * t) + 3000 * std::sin(2 * M_PI * 660 * t)
            + 1500 * std::sin(2 * M_PI * 1875 * t) + double(int(seed >> 16) % 600 - 300);
        for (int ch = 0; ch < c.channels; ++ch) {
            pcm[size_t(i) * c.channels + ch] = int16_t(v * (ch ? 0.8 : 1.0));
        }
    }
    return pcm;
}

std::vector<std::vector<int16_t>> frames(const Codec &c)
{
    std::vector<std::vector<int16_t>> out;
    for (int i = 0; i < 50; ++i) {
        out.push_back(frameOf(c, i));
    }
    return out;
}

// Share of real time one leg spends per 20 ms frame, in percent, from the
// wall time of the measured loop.
class RealTimeShare
{
public:
    RealTimeShare() : m_start(std::chrono::steady_clock::now()) {}
    void report(benchmark::State &state) const
    {
        const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
        state.counters["pct_realtime"] = elapsed / double(state.iterations()) / 0.02 * 100.0;
    }

private:
    std::chrono::steady_clock::time_point m_start;
};

// The codec library called directly, set up as the agent sets it up.
void BM_BareCodec(benchmark::State &state)
{
    const Codec &c = kCodecs[state.range(0)];
    state.SetLabel(c.name);
    const auto input = frames(c);
    uint8_t out[7680];
    size_t k = 0;
    const std::string name = c.name;
    const RealTimeShare share;
    if (name == "opus") {
        int err = 0;
        OpusEncoder *enc = opus_encoder_create(48000, 2, OPUS_APPLICATION_AUDIO, &err);
        opus_encoder_ctl(enc, OPUS_SET_SIGNAL(OPUS_SIGNAL_MUSIC));
        opus_encoder_ctl(enc, OPUS_SET_BITRATE(48000));
        opus_encoder_ctl(enc, OPUS_SET_VBR(0));
        opus_encoder_ctl(enc, OPUS_SET_COMPLEXITY(10));
        opus_encoder_ctl(enc, OPUS_SET_LSB_DEPTH(16));
        opus_encoder_ctl(enc, OPUS_SET_EXPERT_FRAME_DURATION(OPUS_FRAMESIZE_ARG));
        for (auto _ : state) {
            benchmark::DoNotOptimize(opus_encode(enc, input[k++ % 50].data(), 960, out, sizeof(out)));
        }
        opus_encoder_destroy(enc);
    } else if (name == "G722") {
        g722_encode_state_t *g = g722_encode_init(nullptr, 64000, G722_SAMPLE_RATE_8000);
        for (auto _ : state) {
            benchmark::DoNotOptimize(g722_encode(g, out, input[k++ % 50].data(), 160));
        }
        g722_encode_free(g);
    } else if (name == "GSM") {
        gsm g = gsm_create();
        for (auto _ : state) {
            gsm_encode(g, const_cast<gsm_signal *>(input[k++ % 50].data()), out);
            benchmark::DoNotOptimize(out[0]);
        }
        gsm_destroy(g);
    } else {
        const bool ulaw = name == "PCMU";
        for (auto _ : state) {
            const int16_t *pcm = input[k++ % 50].data();
            for (int i = 0; i < 160; ++i) {
                out[i] = ulaw ? SipG711::linearToUlaw(pcm[i]) : SipG711::linearToAlaw(pcm[i]);
            }
            benchmark::DoNotOptimize(out[0]);
        }
    }
    share.report(state);
}

// The agent's encoder object and the RTP packet around its output: what
// the send thread does per frame before the datagram leaves.
void BM_EncodeAndPacketise(benchmark::State &state)
{
    const Codec &c = kCodecs[state.range(0)];
    state.SetLabel(c.name);
    const auto input = frames(c);
    std::unique_ptr<SipAudioEncoder> enc(SipAudioEncoder::create(SipPayload(c.name, c.number, c.rate, c.channels)));
    uint8_t out[7680];
    uint8_t packet[RtpPacket::kMaxSize];
    uint16_t seq = 0;
    uint32_t ts = 0;
    size_t k = 0;
    const RealTimeShare share;
    for (auto _ : state) {
        const auto &pcm = input[k++ % 50];
        const int n = enc->encode(pcm.data(), int(pcm.size() * 2), out, sizeof(out));
        benchmark::DoNotOptimize(RtpPacket::write(uint8_t(c.number), false, seq++, ts, 0x1234, out, n, packet,
                                                  sizeof(packet)));
        ts += uint32_t(c.rate / 50);
    }
    share.report(state);
}

// The same with the datagram sent to a loopback port nobody reads.
void BM_EncodeAndSend(benchmark::State &state)
{
    const Codec &c = kCodecs[state.range(0)];
    state.SetLabel(c.name);
    const auto input = frames(c);
    std::unique_ptr<SipAudioEncoder> enc(SipAudioEncoder::create(SipPayload(c.name, c.number, c.rate, c.channels)));
    RtpSession rtp;
    int port = 39000;
    while (rtp.open("127.0.0.1", port) != 0 && port < 39998) {
        port += 2;
    }
    rtp.setDestination("127.0.0.1", 9); // discard port: nothing listens
    uint8_t out[7680];
    size_t k = 0;
    const RealTimeShare share;
    for (auto _ : state) {
        const auto &pcm = input[k++ % 50];
        const int n = enc->encode(pcm.data(), int(pcm.size() * 2), out, sizeof(out));
        benchmark::DoNotOptimize(rtp.sendPacket(out, n, uint8_t(c.number), false, uint32_t(c.rate / 50)));
    }
    share.report(state);
}

BENCHMARK(BM_BareCodec)->DenseRange(0, 4);
BENCHMARK(BM_EncodeAndPacketise)->DenseRange(0, 4);
BENCHMARK(BM_EncodeAndSend)->DenseRange(0, 4);

} // namespace

BENCHMARK_MAIN();
