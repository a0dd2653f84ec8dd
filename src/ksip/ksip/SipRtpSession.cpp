#include "SipRtpSession.h"

#include "RDLog.h"
#include "RDThread.h"
#include "SipRtspSessionObserver.h"

#include <chrono>

namespace {

constexpr int kBatch = 10;
// A reassembled NAL unit larger than this is dropped.
constexpr size_t kMaxNal = 4 * 1024 * 1024;

double steadySeconds()
{
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

} // namespace

class SipRtpSendThread : public RDThread
{
public:
    explicit SipRtpSendThread(SipRtpSession *session) : m_session(session) { setName("SipRtpSendThread"); }

protected:
    void run() override { m_session->runSend(); }

private:
    SipRtpSession *m_session;
};

class SipRtpRecvThread : public RDThread
{
public:
    explicit SipRtpRecvThread(SipRtpSession *session) : m_session(session) { setName("SipRtpRecvThread"); }

protected:
    void run() override { m_session->runReceive(); }

private:
    SipRtpSession *m_session;
};

SipRtpSession::SipRtpSession() = default;

SipRtpSession::~SipRtpSession()
{
    stop();
}

int SipRtpSession::start(const char *remoteIp, int localPort, int remotePort, const SipPayload &payload, int frameMs)
{
    stop();
    if (m_rtp.open(m_bindAddress.c_str(), localPort) != 0 || m_rtp.setDestination(remoteIp, remotePort) != 0) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "rtp session create ip = %s, port = %d, %d",
                    remoteIp ? remoteIp : "", localPort, remotePort);
        m_rtp.close();
        return -1;
    }
    m_payload = payload;
    m_payload.setPtime(payload.ptime());
    m_frameMs = frameMs > 0 ? frameMs : 20;
    m_video = SipPayload::isVideo(&m_payload);
    m_nal.clear();
    m_nalStarted = false;
    m_stopping = false;
    m_sendThread = new SipRtpSendThread(this);
    m_recvThread = new SipRtpRecvThread(this);
    m_sendThread->start();
    m_recvThread->start();
    m_started = true;
    return 0;
}

void SipRtpSession::stop()
{
    if (!m_started) {
        return;
    }
    {
        std::lock_guard<std::mutex> guard(m_waitLock);
        m_stopping = true;
    }
    m_waitCond.notify_all();
    m_rtp.wake();
    for (RDThread *thread : {static_cast<RDThread *>(m_recvThread), static_cast<RDThread *>(m_sendThread)}) {
        thread->stop();
        thread->wait();
        delete thread;
    }
    m_recvThread = nullptr;
    m_sendThread = nullptr;
    m_rtp.sendBye();
    m_rtp.close();
    m_started = false;
}

int SipRtpSession::send(const uint8_t *data, int bytes, double seconds)
{
    // A hair above the product so that 0.02 s at 48 kHz is 960, not 959.
    const double ticks = m_payload.clockRate() * seconds + 1e-6;
    const uint32_t increment = ticks > 0 ? static_cast<uint32_t>(ticks) : 0;
    return m_rtp.sendPacket(data, bytes, static_cast<uint8_t>(m_payload.number() & 0x7F), false, increment);
}

bool SipRtpSession::waitUntil(double deadline)
{
    const double delay = deadline - steadySeconds();
    std::unique_lock<std::mutex> lock(m_waitLock);
    if (delay > 0) {
        m_waitCond.wait_for(lock, std::chrono::duration<double>(delay), [this] { return m_stopping.load(); });
    }
    return !m_stopping;
}

void SipRtpSession::runSend()
{
    // Frames are sent when they are due: the first one at once, each later
    // one when the media already sent has played out. When the source has
    // run dry for more than a frame the schedule starts again from now, so
    // the frames that then arrive go out at real time, not in a burst.
    const double frame = m_frameMs / 1000.0;
    const double idleWait = frame / 4 < 0.005 ? frame / 4 : 0.005;
    double anchor = 0.0;
    double sent = 0.0;
    bool sending = false;
    while (!m_stopping) {
        const double now = steadySeconds();
        if (sending) {
            const double due = anchor + sent;
            if (due > now) {
                waitUntil(due);
                continue;
            }
            if (now - due > frame) {
                anchor = now - sent;
            }
        }
        const double seconds = m_observer ? m_observer->onRtpSend(this) : 0.0;
        if (seconds > 0) {
            if (!sending) {
                anchor = now;
                sending = true;
            }
            sent += seconds;
        } else {
            waitUntil(now + idleWait);
        }
    }
}

void SipRtpSession::runReceive()
{
    RtpPacket batch[kBatch];
    double last = steadySeconds();
    while (!m_stopping) {
        int timeoutMs = -1;
        if (m_receiveTimeoutMs > 0) {
            const double remaining = last + m_receiveTimeoutMs / 1000.0 - steadySeconds();
            if (remaining <= 0) {
                if (m_observer) {
                    m_observer->onRtpTimeout(this);
                }
                last = steadySeconds();
                continue;
            }
            timeoutMs = static_cast<int>(remaining * 1000.0) + 1;
        }
        const int n = m_rtp.receive(batch, kBatch, timeoutMs);
        if (n < 0) {
            break;
        }
        for (int i = 0; i < n && !m_stopping; ++i) {
            if (m_video) {
                handleVideoPacket(batch[i]);
            } else if (m_observer) {
                m_observer->onRtpPacket(this, batch[i], batch[i].payload(), batch[i].payloadLength(),
                                        batch[i].timestamp());
            }
        }
        if (n > 0) {
            last = steadySeconds();
        }
    }
}

int SipRtpSession::handleVideoPacket(const RtpPacket &packet)
{
    const uint8_t *p = packet.payload();
    const int n = packet.payloadLength();
    if (n < 1) {
        return 0;
    }
    const int type = p[0] & 0x1F;
    if (type >= 1 && type <= 24) {
        if (m_observer) {
            m_observer->onRtpPacket(this, packet, p, n, packet.timestamp());
        }
        return n;
    }
    if (type != 28 && type != 29) {
        return 0;
    }
    if (n < 2) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "recv packet error, drop type %d", type);
        return 0;
    }
    const bool startBit = (p[1] & 0x80) != 0;
    const bool endBit = (p[1] & 0x40) != 0;
    if (startBit) {
        m_nal.clear();
        m_nal.reserve(8192);
        m_nal.push_back(static_cast<uint8_t>((p[0] & 0xE0) | (p[1] & 0x1F)));
        m_nalStarted = true;
    } else if (!m_nalStarted) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "recv packet error, drop type %d", type);
        return 0;
    }
    if (m_nal.size() + (n - 2) > kMaxNal) {
        m_nal.clear();
        m_nalStarted = false;
        return 0;
    }
    m_nal.insert(m_nal.end(), p + 2, p + n);
    if (!endBit) {
        return 0;
    }
    const int size = static_cast<int>(m_nal.size());
    if (m_observer) {
        m_observer->onRtpPacket(this, packet, m_nal.data(), size, packet.timestamp());
    }
    m_nal.clear();
    m_nalStarted = false;
    return size;
}
