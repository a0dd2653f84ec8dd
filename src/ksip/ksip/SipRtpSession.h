#pragma once

#include "RtpSession.h"
#include "SipPayload.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class SipRtspSessionObserver;
class SipRtpSendThread;
class SipRtpRecvThread;

// One RTP stream of a call with its own send and receive threads. The send
// thread asks the observer for frames and holds them back to real time by
// the frame durations; the receive thread hands packets on in batches of up
// to 10 and reports a silence longer than the receive time-out.
class SipRtpSession
{
public:
    SipRtpSession();
    ~SipRtpSession();

    // Opens the local port pair, sets the destination and starts the send
    // and then the receive thread. `frameMs` 0 or less means 20. Returns 0,
    // or -1 (logged) when the ports cannot be opened or the address is bad.
    int start(const char *remoteIp, int localPort, int remotePort, const SipPayload &payload, int frameMs);
    // Stops and joins the receive and then the send thread and sends an
    // RTCP BYE. Safe to call more than once.
    void stop();
    bool isStarted() const { return m_started; }

    void setObserver(SipRtspSessionObserver *observer) { m_observer = observer; }
    // Milliseconds without packets before onRtpTimeout; 0 means none.
    void setReceiveTimeout(int ms) { m_receiveTimeoutMs = ms; }
    // Local address the ports are bound on (default: every address).
    void setBindAddress(const char *ip) { m_bindAddress = ip ? ip : ""; }
    // Sends one frame as one packet with the payload's number, marker off,
    // timestamp advanced by clock rate x seconds. Returns bytes sent or -1.
    int send(const uint8_t *data, int bytes, double seconds);

    const SipPayload &payload() const { return m_payload; }
    int frameMs() const { return m_frameMs; }
    RtpSession &rtp() { return m_rtp; }

    // H.264 (RFC 6184) depacketiser: single NAL units (1..23) and STAP-A
    // (24) are passed on whole, fragmentation units (28, 29) are rebuilt
    // and passed on at their end fragment, other types are dropped. Returns
    // the bytes passed on (0 when nothing was).
    int handleVideoPacket(const RtpPacket &packet);

private:
    friend class SipRtpSendThread;
    friend class SipRtpRecvThread;

    void runSend();
    void runReceive();
    // Waits until `deadline` (steady seconds) or stop; false when stopping.
    bool waitUntil(double deadline);

    RtpSession m_rtp;
    std::vector<uint8_t> m_nal;
    bool m_nalStarted = false;
    int m_frameMs = 20;
    bool m_video = false;
    SipPayload m_payload;
    SipRtpSendThread *m_sendThread = nullptr;
    SipRtpRecvThread *m_recvThread = nullptr;
    SipRtspSessionObserver *m_observer = nullptr;
    int m_receiveTimeoutMs = 0;
    std::string m_bindAddress;
    bool m_started = false;

    std::mutex m_waitLock;
    std::condition_variable m_waitCond;
    std::atomic<bool> m_stopping{false};

    SipRtpSession(const SipRtpSession &) = delete;
    SipRtpSession &operator=(const SipRtpSession &) = delete;
};
