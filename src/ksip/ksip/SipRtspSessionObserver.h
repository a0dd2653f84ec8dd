#pragma once

#include <cstdint>

class RtpPacket;
class SipRtpSession;

// What an RTP session reports to its owner (the call). Called on the
// session's send and receive threads.
class SipRtspSessionObserver
{
public:
    virtual ~SipRtspSessionObserver() = default;
    // The send thread asks for the next frame to send; returns the seconds
    // of media sent, 0 when nothing was ready.
    virtual double onRtpSend(SipRtpSession *session) = 0;
    // One received packet (for video: one rebuilt NAL unit).
    virtual void onRtpPacket(SipRtpSession *session, const RtpPacket &packet, const uint8_t *payload, int length,
                             uint32_t timestamp) = 0;
    // Nothing arrived for the receive time-out.
    virtual void onRtpTimeout(SipRtpSession *session) = 0;
};
