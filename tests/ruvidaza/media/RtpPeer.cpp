#include "RtpPeer.h"

#include "SipAudioDecoder.h"
#include "SipAudioEncoder.h"
#include "SipPayload.h"

#include <chrono>
#include <cmath>
#include <random>
#include <strings.h>

RtpPeer::RtpPeer(const MediaCodec &codec) : m_codec(codec)
{
    // The codec library's G.722 coder works on 8 kHz samples.
    m_pcmRate = strcasecmp(codec.name.c_str(), "G722") == 0 ? 8000 : codec.clockRate;
    const SipPayload payload(codec.name.c_str(), codec.payloadType, codec.clockRate, codec.channels);
    m_encoder.reset(SipAudioEncoder::create(payload));
    m_decoder.reset(SipAudioDecoder::create(payload));
    std::mt19937 random{std::random_device{}()};
    for (int attempt = 0; attempt < 200 && !m_session.isOpen(); ++attempt) {
        const int port = 42000 + 2 * static_cast<int>(random() % 9000);
        m_session.open("127.0.0.1", port);
    }
    m_session.setDestination("127.0.0.1", 9); // until a tone is sent
}

RtpPeer::~RtpPeer()
{
    stopTone();
}

void RtpPeer::startTone(double hz, int amplitude)
{
    stopTone();
    m_sending = true;
    m_sender = std::thread([this, hz, amplitude] {
        const int samples = m_pcmRate / 50;
        const int channels = m_codec.channels;
        std::vector<int16_t> pcm(samples * channels);
        std::vector<uint8_t> out(1500);
        const double step = 2 * 3.14159265358979 * hz / m_pcmRate;
        double phase = 0;
        auto next = std::chrono::steady_clock::now();
        while (m_sending) {
            for (int i = 0; i < samples; ++i) {
                const auto v = static_cast<int16_t>(std::lrint(amplitude * std::sin(phase)));
                phase += step;
                for (int c = 0; c < channels; ++c) {
                    pcm[i * channels + c] = v;
                }
            }
            const int n = m_encoder->encode(pcm.data(), static_cast<int>(pcm.size() * 2), out.data(),
                                            static_cast<int>(out.size()));
            m_session.sendPacket(out.data(), n, static_cast<uint8_t>(m_codec.payloadType), false,
                                 static_cast<uint32_t>(m_codec.clockRate / 50));
            next += std::chrono::milliseconds(20);
            std::this_thread::sleep_until(next);
        }
    });
}

void RtpPeer::stopTone()
{
    m_sending = false;
    if (m_sender.joinable()) {
        m_sender.join();
    }
}

std::vector<int16_t> RtpPeer::capture(int ms, std::vector<Received> *packets)
{
    std::vector<int16_t> audio;
    std::vector<RtpPacket> batch(16);
    std::vector<int16_t> pcm(5760 * 2);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now()).count();
        if (left <= 0) {
            break;
        }
        const int n = m_session.receive(batch.data(), static_cast<int>(batch.size()), static_cast<int>(left));
        for (int i = 0; i < n; ++i) {
            const RtpPacket &p = batch[i];
            if (packets) {
                packets->push_back({p.payloadType(), p.sequence(), p.timestamp(), p.payloadLength()});
            }
            const int bytes = m_decoder->decode(p.payload(), p.payloadLength(), pcm.data(),
                                                static_cast<int>(pcm.size() * 2));
            const int channels = m_codec.channels;
            for (int s = 0; s < bytes / 2 / channels; ++s) {
                audio.push_back(pcm[s * channels]);
            }
        }
    }
    return audio;
}
