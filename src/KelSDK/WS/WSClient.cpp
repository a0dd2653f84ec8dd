#include "WSClient.h"

#include "WSClientReadThread.h"
#include "WSClientSendThread.h"
#include "WSFrameParser.h"
#include "WSHandshake.h"
#include "WSMessageAssembler.h"

#include "RDLog.h"
#include "RDTcpSocket.h"
#include "RDThread.h"


namespace {

// Frames to the app carry a mask like a client's; the apps in the field
// expect it and a conforming client accepts it.
constexpr bool kMaskOutgoing = true;

const std::vector<uint8_t> kPongPayload = {'\r', '\n'};

template <class T> void stopThread(T *&thread)
{
    if (!thread)
        return;
    thread->stop();
    thread->wait();
    delete thread;
    thread = nullptr;
}

} // namespace

WSClient::WSClient(RDTcpSocket *socket, const WSSessionLimits &limits)
    : m_limits(limits), m_socket(socket)
{
}

WSClient::~WSClient()
{
    WSClient::close();
}

void WSClient::open()
{
    stopThread(m_sendThread);
    stopThread(m_readThread);
    m_stopWake.clear();
    m_closing = false;
    m_sendThread = new WSClientSendThread(this);
    m_sendThread->setName("WSClient Send");
    m_sendThread->start();
    m_readThread = new WSClientReadThread(this);
    m_readThread->setName("WSClient Read");
    m_readThread->start();
}

void WSClient::close()
{
    m_closing = true;
    stopThread(m_sendThread);
    stopThread(m_readThread);
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        m_sendQueue.clear();
        m_queuedBytes = 0;
        m_queuedAudio = 0;
    }
    {
        std::lock_guard<std::mutex> lock(m_audioMutex);
        m_audioQueue.clear();
    }
    std::lock_guard<std::mutex> lock(m_socketMutex);
    if (m_socket && m_socket->isValid() && m_handshaken) {
        // Tell the app the server is going away (RFC 6455 section 7.4.1,
        // 1001) rather than just dropping the connection; one try, no wait.
        const std::string bye = WSFrame::encodeClose(1001, std::string(), kMaskOutgoing);
        m_socket->send(bye.data(), int(bye.size()));
    }
    m_socket.reset();
}

bool WSClient::isRunning() const
{
    return m_sendThread || m_readThread;
}

bool WSClient::isOpen() const
{
    return socketValid();
}

bool WSClient::socketValid() const
{
    std::lock_guard<std::mutex> lock(m_socketMutex);
    return m_socket && m_socket->isValid();
}

void WSClient::closeSocket()
{
    // Wake first: a thread about to poll the old handle number returns at
    // once instead of waiting on whatever socket gets that number next.
    wakeForStop();
    notifyAudio(); // a talk reader waiting for audio finds the session closed
    std::lock_guard<std::mutex> lock(m_socketMutex);
    if (m_socket)
        m_socket->closeHandle();
}

void WSClient::wakeForStop()
{
    m_stopWake.signal();
}

bool WSClient::waitSocket(bool forWrite, int timeoutMs, const RDThread *thread)
{
    int fd;
    {
        std::lock_guard<std::mutex> lock(m_socketMutex);
        if (!m_socket || !m_socket->isValid())
            return false;
        fd = m_socket->handle();
    }
    const PlatformWakeEvent::Wait w = m_stopWake.waitFor(fd, forWrite, timeoutMs);
    return !thread->isStopped() && w != PlatformWakeEvent::Wait::Woken && w != PlatformWakeEvent::Wait::Failed;
}

void WSClient::queueData(const KelPacket &packet)
{
    const uint8_t *p = packet.bytes();
    if (!p || packet.length <= 0)
        return;
    enqueue(WSFrame(WSFrame::Text, std::vector<uint8_t>(p, p + packet.length)), false);
}

void WSClient::queueAudio(const KelAudioFrame &frame)
{
    const int wire = frame.serialize(nullptr, 0, 0);
    if (wire < KelAudioFrame::HeaderSize)
        return;
    std::vector<uint8_t> payload(size_t(wire) + 1);
    payload[0] = 1;
    frame.serialize(payload, 1, wire);
    enqueue(WSFrame(WSFrame::Binary, std::move(payload)), true);
}

void WSClient::takeAudio(KelAudioFrame &frame)
{
    std::lock_guard<std::mutex> lock(m_audioMutex);
    if (m_audioQueue.empty()) {
        frame.reset();
        return;
    }
    frame = std::move(m_audioQueue.front());
    m_audioQueue.pop_front();
}

void WSClient::enqueue(WSFrame &&frame, bool isAudio)
{
    bool overflow = false;
    {
        std::lock_guard<std::mutex> lock(m_sendMutex);
        const size_t bytes = frame.payload.size();
        if (isAudio) {
            // Live audio is worthless late: past the cap the oldest goes.
            if (m_queuedAudio >= m_limits.maxQueuedAudio) {
                for (auto it = m_sendQueue.begin(); it != m_sendQueue.end(); ++it) {
                    if (it->audio) {
                        m_queuedBytes -= it->frame.payload.size();
                        --m_queuedAudio;
                        m_sendQueue.erase(it);
                        break;
                    }
                }
            }
            m_sendQueue.push_back({std::move(frame), true});
            m_queuedBytes += bytes;
            ++m_queuedAudio;
        } else {
            auto over = [&] {
                return m_sendQueue.size() - m_queuedAudio + 1 > m_limits.maxQueuedMessages ||
                       m_queuedBytes + bytes > m_limits.maxQueuedBytes;
            };
            if (over() && m_queuedAudio > 0) {
                for (auto it = m_sendQueue.begin(); it != m_sendQueue.end();) {
                    if (it->audio) {
                        m_queuedBytes -= it->frame.payload.size();
                        it = m_sendQueue.erase(it);
                    } else {
                        ++it;
                    }
                }
                m_queuedAudio = 0;
            }
            if (over()) {
                overflow = true;
            } else {
                m_sendQueue.push_back({std::move(frame), false});
                m_queuedBytes += bytes;
            }
        }
    }
    if (overflow) {
        // The peer stopped reading: end the session instead of buffering
        // without bound. The server's sweep then closes and announces it.
        RDLogDetail(__FILE__, "WSClient::enqueue", __LINE__, 5, "send queue full, closing session\n");
        closeSocket();
    }
    m_sendCond.notify_one();
}

void WSClient::wakeSender()
{
    { std::lock_guard<std::mutex> lock(m_sendMutex); }
    m_sendCond.notify_all();
}

int WSClient::rawSend(const char *data, size_t size, const RDThread *thread)
{
    size_t sent = 0;
    int last = 0;
    while (sent < size) {
        if (thread->isStopped())
            return -1;
        {
            std::lock_guard<std::mutex> lock(m_socketMutex);
            if (!m_socket || !m_socket->isValid())
                return -1;
            last = m_socket->send(data + sent, int(size - sent));
        }
        if (last > 0)
            sent += size_t(last);
        else if (!waitSocket(true, -1, thread)) // the peer's window is full: wait for room
            return -1;
    }
    return last;
}

void WSClient::refuse(uint16_t closeCode, const RDThread *thread)
{
    const std::string f = WSFrame::encodeClose(closeCode, std::string(), kMaskOutgoing);
    rawSend(f.data(), f.size(), thread);
    closeSocket();
}

void WSClient::doSend(WSClientSendThread *thread)
{
    double last = monotonicSeconds();
    while (!thread->isStopped()) {
        if (!m_handshaken) {
            // The handshake and a stop both signal this.
            std::unique_lock<std::mutex> lock(m_sendMutex);
            m_sendCond.wait(lock, [&] { return thread->isStopped() || m_handshaken.load(); });
            last = monotonicSeconds();
            continue;
        }
        Queued item;
        bool have = false;
        {
            std::unique_lock<std::mutex> lock(m_sendMutex);
            if (m_sendQueue.empty()) {
                // A queued frame and a stop both signal this; otherwise the
                // thread sleeps until the next keep-alive ping is due.
                auto woken = [&] { return thread->isStopped() || !m_sendQueue.empty(); };
                if (m_limits.keepAliveInterval > 0) {
                    const double due = std::max(0.0, last + m_limits.keepAliveInterval - monotonicSeconds());
                    m_sendCond.wait_for(lock, std::chrono::microseconds(int64_t(due * 1e6)), woken);
                } else {
                    m_sendCond.wait(lock, woken);
                }
            }
            if (!m_sendQueue.empty()) {
                item = std::move(m_sendQueue.front());
                m_sendQueue.pop_front();
                m_queuedBytes -= item.frame.payload.size();
                if (item.audio)
                    --m_queuedAudio;
                have = true;
            }
        }
        if (thread->isStopped())
            break;
        if (have) {
            if (item.frame.length > 0 || item.frame.opcode == WSFrame::Ping || item.frame.opcode == WSFrame::Pong) {
                const std::string wire = WSFrame::encode(item.frame.opcode, item.frame.payload.data() + item.frame.offset,
                                                         size_t(item.frame.length), kMaskOutgoing);
                rawSend(wire.data(), wire.size(), thread);
            }
            last = monotonicSeconds();
        } else if (m_limits.keepAliveInterval > 0 && monotonicSeconds() - last >= m_limits.keepAliveInterval &&
                   socketValid()) {
            enqueue(WSFrame(WSFrame::Ping, kPongPayload), false);
        }
    }
}

bool WSClient::handshake(WSClientReadThread *thread, std::string &buffer)
{
    const double deadline = monotonicSeconds() + m_limits.handshakeTimeout;
    char chunk[1024];
    size_t headLength = 0;
    for (;;) {
        if (thread->isStopped())
            return false;
        const WSHandshake::Status st = WSHandshake::findHead(buffer, headLength);
        if (st == WSHandshake::Status::Ok)
            break;
        if (st == WSHandshake::Status::Bad)
            return false;
        int n;
        {
            std::lock_guard<std::mutex> lock(m_socketMutex);
            if (!m_socket || !m_socket->isValid())
                return false;
            n = m_socket->recv(chunk, sizeof chunk);
        }
        if (n > 0) {
            buffer.append(chunk, size_t(n));
            continue;
        }
        const double left = deadline - monotonicSeconds();
        if (left <= 0 || !waitSocket(false, int(left * 1000) + 1, thread))
            return false;
    }

    const auto headers = WSHandshake::parseHeaders(buffer.substr(0, headLength));
    if (!WSHandshake::isUpgradeRequest(headers))
        return false;
    const auto key = headers.find("Sec-WebSocket-Key");
    const std::string response =
        WSHandshake::response(WSHandshake::acceptValue(key == headers.end() ? std::string() : key->second));
    if (rawSend(response.data(), response.size(), thread) < 1)
        return false;
    // A client may pipeline its first frame behind the request; keep it.
    buffer.erase(0, headLength);
    m_handshaken = true;
    wakeSender();
    return true;
}

bool WSClient::handleControl(int opcode, std::vector<uint8_t> &payload, const RDThread *thread)
{
    if (opcode == WSFrame::Ping) {
        // Like every other message, a ping without payload is not acted on.
        if (!payload.empty())
            enqueue(WSFrame(WSFrame::Pong, kPongPayload), false);
        return true;
    }
    if (opcode == WSFrame::Close) {
        // Echo the status back before closing (RFC 6455 section 5.5.1).
        uint16_t code = WSFrameParser::CloseNormal;
        if (payload.size() >= 2)
            code = uint16_t((payload[0] << 8) | payload[1]);
        // Section 7.4: only defined or registered codes go on the wire.
        const bool sendable = (code >= 1000 && code <= 1003) || (code >= 1007 && code <= 1011) ||
                              (code >= 3000 && code <= 4999);
        if (!sendable)
            code = WSFrameParser::CloseProtocolError;
        refuse(code, thread);
        return false;
    }
    return true; // pong
}

void WSClient::handleMessage(int opcode, std::vector<uint8_t> &payload)
{
    const int len = int(payload.size());
    if (len == 0)
        return;
    if (opcode == WSFrame::Text) {
        notifyMessage(KelPacket(std::move(payload), 0, len));
        return;
    }
    if (opcode != WSFrame::Binary && opcode != WSFrame::Continuation)
        return;
    if (payload[0] == 0) {
        notifyMessage(KelPacket(std::move(payload), 1, len - 1));
    } else if (payload[0] == 1) {
        KelAudioFrame frame;
        if (!frame.parse(payload, 1, len - 1))
            return;
        {
            std::lock_guard<std::mutex> lock(m_audioMutex);
            m_audioQueue.push_back(std::move(frame));
            if (m_audioQueue.size() > m_limits.maxReceivedAudio) {
                m_audioQueue.pop_front();
                RDLogDetail(__FILE__, "WSClient::doRead", __LINE__, 5, "remove audio size over 30\n");
            }
        }
        notifyAudio();
    }
}

void WSClient::readEnded(const RDThread *thread)
{
    // A stop comes from the owner, who closes the session itself (with a
    // goodbye frame). Otherwise the session is over: the socket is closed
    // before the hook runs, so whoever it wakes finds the session closed.
    if (thread->isStopped() || m_closing)
        return;
    closeSocket();
    if (m_endedHook)
        m_endedHook();
}

void WSClient::doRead(WSClientReadThread *thread)
{
    std::string buffer;
    buffer.swap(m_preloaded);
    if (!m_handshaken && !handshake(thread, buffer)) {
        closeSocket();
        return;
    }

    WSFrameParser parser(m_limits.maxMessageSize, true);
    WSMessageAssembler assembler(m_limits.maxMessageSize);
    double lastReceived = monotonicSeconds();
    char chunk[4096];
    while (!thread->isStopped()) {
        size_t pos = 0;
        for (;;) {
            WSFrameParser::Frame frame;
            const auto r = parser.parse(reinterpret_cast<const uint8_t *>(buffer.data()) + pos, buffer.size() - pos,
                                        frame);
            if (r.status == WSFrameParser::Status::NeedMore)
                break;
            if (r.status == WSFrameParser::Status::Bad) {
                refuse(r.closeCode, thread);
                return;
            }
            pos += r.consumed;
            WSMessageAssembler::Event ev = assembler.add(std::move(frame));
            if (ev.kind == WSMessageAssembler::Kind::Bad) {
                refuse(ev.closeCode, thread);
                return;
            }
            if (ev.kind == WSMessageAssembler::Kind::Control && !handleControl(ev.opcode, ev.payload, thread))
                return;
            if (ev.kind == WSMessageAssembler::Kind::Message)
                handleMessage(ev.opcode, ev.payload);
            if (thread->isStopped())
                return;
        }
        buffer.erase(0, pos);

        int n;
        {
            std::lock_guard<std::mutex> lock(m_socketMutex);
            if (!m_socket || !m_socket->isValid())
                return;
            n = m_socket->recv(chunk, sizeof chunk);
        }
        if (n > 0) {
            buffer.append(chunk, size_t(n));
            lastReceived = monotonicSeconds();
            continue;
        }
        int waitMs = -1;
        if (m_limits.idleTimeout > 0) {
            const double left = lastReceived + m_limits.idleTimeout - monotonicSeconds();
            if (left <= 0) {
                refuse(1001, thread); // going away
                return;
            }
            waitMs = int(left * 1000) + 1;
        }
        // Sleeps until bytes arrive, the session stops, or the idle time-out.
        if (!waitSocket(false, waitMs, thread))
            return;
    }
}
