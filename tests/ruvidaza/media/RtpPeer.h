#pragma once

#include "MediaCodec.h"
#include "RtpSession.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

class SipAudioDecoder;
class SipAudioEncoder;

// The far end of a switch leg in the media tests: an RTP session on a free
// even loopback port that can send a sine tone in real time (one packet
// every 20 ms) and records what arrives, decoded with the codec library's
// own coders, independent of the switch's conversions.
class RtpPeer
{
public:
    struct Received
    {
        uint8_t payloadType;
        uint16_t sequence;
        uint32_t timestamp;
        int payloadLength;
    };

    explicit RtpPeer(const MediaCodec &codec);
    ~RtpPeer();

    bool isOpen() const { return m_session.isOpen(); }
    int port() const { return m_session.localPort(); }
    // Sample rate of the PCM the codec library gives for this codec.
    int pcmRate() const { return m_pcmRate; }

    // Where the tone goes: the switch leg's port on loopback.
    void sendTo(int port) { m_session.setDestination("127.0.0.1", port); }
    // Sends a tone of `hz` with peak `amplitude` until stopTone().
    void startTone(double hz, int amplitude);
    void stopTone();
    // Reads for `ms` milliseconds; the decoded audio (mono, pcmRate()) and
    // the packet headers.
    std::vector<int16_t> capture(int ms, std::vector<Received> *packets = nullptr);

private:
    MediaCodec m_codec;
    int m_pcmRate;
    RtpSession m_session;
    std::unique_ptr<SipAudioEncoder> m_encoder;
    std::unique_ptr<SipAudioDecoder> m_decoder;
    std::thread m_sender;
    std::atomic<bool> m_sending{false};
};
