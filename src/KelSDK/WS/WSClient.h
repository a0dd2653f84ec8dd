#pragma once

#include "KelClient.h"
#include "PlatformWakeEvent.h"
#include "RDThread.h"
#include "WSFrame.h"
#include "WSSessionLimits.h"

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

class RDTcpSocket;
class WSClientReadThread;
class WSClientSendThread;

// One phone-app connection over WebSocket: a read thread performs the
// opening handshake and reads messages, a send thread writes queued frames
// and keeps the connection alive with pings.
class WSClient : public KelClient
{
public:
    // Takes ownership of the accepted socket (already non-blocking).
    explicit WSClient(RDTcpSocket *socket, const WSSessionLimits &limits = WSSessionLimits());
    ~WSClient() override;

    void open() override;
    void close() override;
    bool isRunning() const override;
    bool isOpen() const override;
    void queueData(const KelPacket &packet) override;
    void queueAudio(const KelAudioFrame &frame) override;
    void takeAudio(KelAudioFrame &frame) override;

    bool isHandshaken() const { return m_handshaken.load(); }

    // Bytes the server already read from the connection (the opening
    // handshake, say); the session starts with them. Call before open().
    void preload(const std::string &bytes) { m_preloaded = bytes; }
    // Called on the read thread when the session has ended by itself (the
    // peer left or misbehaved, or the send queue overflowed); not on a stop.
    void setEndedHook(std::function<void()> hook) { m_endedHook = std::move(hook); }

private:
    friend class WSClientReadThread;
    friend class WSClientSendThread;

    void doRead(WSClientReadThread *thread);
    void readEnded(const RDThread *thread);
    void doSend(WSClientSendThread *thread);
    void wakeSender();
    // Wakes both threads out of their socket waits for good (until open()).
    void wakeForStop();
    // Waits until the socket can be read (or written), the session is being
    // stopped, or `timeoutMs` passes (below 0: no limit). False when the
    // thread must not go on (stopped, woken for the stop, socket gone).
    bool waitSocket(bool forWrite, int timeoutMs, const RDThread *thread);

    bool handshake(WSClientReadThread *thread, std::string &buffer);
    // Returns false when the session must end.
    bool handleControl(int opcode, std::vector<uint8_t> &payload, const RDThread *thread);
    void handleMessage(int opcode, std::vector<uint8_t> &payload);

    int rawSend(const char *data, size_t size, const RDThread *thread);
    bool socketValid() const;
    void closeSocket();
    void refuse(uint16_t closeCode, const RDThread *thread);
    void enqueue(WSFrame &&frame, bool isAudio);

    const WSSessionLimits m_limits;
    std::atomic<bool> m_handshaken{false};

    mutable std::mutex m_socketMutex;
    std::unique_ptr<RDTcpSocket> m_socket;
    // Set by a stop or a close so that a thread waiting in poll() on the
    // socket returns at once.
    PlatformWakeEvent m_stopWake;
    std::atomic<bool> m_closing{false}; // close() has begun
    std::string m_preloaded;
    std::function<void()> m_endedHook;

    struct Queued {
        WSFrame frame;
        bool audio = false;
    };
    std::mutex m_sendMutex;
    std::condition_variable m_sendCond;
    std::deque<Queued> m_sendQueue;
    size_t m_queuedBytes = 0;
    size_t m_queuedAudio = 0;

    std::mutex m_audioMutex;
    std::deque<KelAudioFrame> m_audioQueue;

    WSClientSendThread *m_sendThread = nullptr;
    WSClientReadThread *m_readThread = nullptr;
};
