#pragma once

#include "FrameDecoder.h"
#include "FrameEncoder.h"
#include "MediaCodec.h"
#include "RtpPacket.h"
#include "RtpSession.h"

#include <cstdint>
#include <string>
#include <vector>

// The media of one call leg: its RTP port, the codec it speaks, what it has
// received and not yet mixed. Opened (port reserved) by the owner thread,
// then driven frame by frame by the media thread.
class MediaLeg
{
public:
    explicit MediaLeg(const std::string &uuid);
    ~MediaLeg();
    MediaLeg(const MediaLeg &) = delete;
    MediaLeg &operator=(const MediaLeg &) = delete;

    // Binds the even `port` and the one above; false when either is taken.
    bool open(const std::string &ip, int port);
    // Starts the stream to the peer in `codec`; false for a codec the
    // switch cannot code or an address that is not a dotted IPv4 one.
    bool start(const std::string &conference, const MediaCodec &codec, const std::string &remoteIp, int remotePort);
    // Ends the stream (RTCP BYE once started) and frees the ports.
    void close();

    const std::string &uuid() const { return m_uuid; }
    const std::string &conference() const { return m_conference; }
    const MediaCodec &codec() const { return m_codec; }
    int port() const { return m_port; }
    bool isStarted() const { return m_started; }
    bool isMuted() const { return m_muted; }
    void setMuted(bool muted);

    // Media thread: reads every packet waiting on the socket; decodes those
    // of the leg's payload type unless the leg is muted.
    void pump();
    // Media thread: the leg's next 20 ms of audio at the mix rate; false
    // when it has nothing to add (muted, silent peer, or still buffering).
    bool takeFrame(int16_t *frame);
    // Media thread: encodes one mix frame and sends it.
    void sendFrame(const int16_t *frame);
    // Media thread: sends a payload encoded elsewhere in this leg's codec.
    void sendPayload(const uint8_t *payload, int length);

private:
    std::string m_uuid;
    std::string m_conference;
    MediaCodec m_codec;
    int m_port = 0;
    bool m_started = false;
    bool m_muted = false;
    bool m_marker = true;
    bool m_primed = false;
    RtpSession m_rtp;
    FrameEncoder m_encoder;
    FrameDecoder m_decoder;
    std::vector<int16_t> m_received; // 16 kHz mono, oldest first
    std::vector<RtpPacket> m_packets;
};
