#pragma once

#include "KelClient.h"
#include "RDThread.h"
#include "WSFrame.h"
#include "WSSessionLimits.h"

#include <condition_variable>
#include <deque>
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

private:
    friend class WSClientReadThread;
    friend class WSClientSendThread;

    void doRead(WSClientReadThread *thread);
    void doSend(WSClientSendThread *thread);
    void wakeSender();

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
