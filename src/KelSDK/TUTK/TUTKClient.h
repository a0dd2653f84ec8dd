#pragma once

#include "KelClient.h"
#include "TUTKSendItem.h"

#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>

class TUTKClientAudioThread;
class TUTKClientReadThread;
class TUTKClientSendThread;

// One phone-app session over the P2P library: JSON messages travel as
// IO-control messages of type 2048, audio as AV audio frames carrying the
// 8-byte audio frame header and payload.
class TUTKClient : public KelClient
{
public:
    static constexpr unsigned int MessageType = 2048;
    static constexpr int MessageBufferSize = 131068;
    static constexpr int AudioBufferSize = 1280;
    static constexpr size_t MaxReceivedAudio = 100;
    // Sent audio waiting for the send thread; past it the oldest goes.
    static constexpr size_t MaxQueuedAudio = 50;
    static constexpr unsigned int StartTimeoutSeconds = 10;
    // Longest a read thread blocks in one receive when nothing happens. The
    // library ends the wait at once when a message arrives or the AV server
    // or session ends, and close() ends them, so an idle session sleeps
    // instead of waking every few milliseconds to look again.
    static constexpr unsigned int ReceiveWaitMs = 1000;
    static const unsigned char FrameInfo[16];

    explicit TUTKClient(int session);
    ~TUTKClient() override;

    // Starts the session's AV server (blocks until the app starts its side
    // or 10 s pass) and then the send, read and audio threads. A failed
    // start closes the session.
    void open() override;
    void close() override;
    bool isRunning() const override;
    bool isOpen() const override;
    void queueData(const KelPacket &packet) override;
    void queueAudio(const KelAudioFrame &frame) override;
    void takeAudio(KelAudioFrame &frame) override;

    // Ends an AV start that is still waiting (the server is stopping).
    void abortStart();
    int session() const { return m_session.load(); }
    int avIndex() const { return m_avIndex.load(); }
    // Received frames waiting for takeAudio.
    size_t receivedAudioCount();

private:
    friend class TUTKClientSendThread;
    friend class TUTKClientReadThread;
    friend class TUTKClientAudioThread;

    void doSend(TUTKClientSendThread *thread);
    void doRead(TUTKClientReadThread *thread);
    void doReadAudio(TUTKClientAudioThread *thread);
    void wakeSender();
    // Ends the AV server and the session once, whichever thread gets here
    // first: the ids are taken out atomically, so a slot the library has
    // handed to a newer session is never closed by this one.
    void endSession();
    void stopThreads();
    // Sets the threads' stop flags (and wakes the send thread) without
    // waiting for them.
    void requestStop();
    bool isLive() const { return m_session.load() >= 0 && m_avIndex.load() >= 0; }

    std::atomic<int> m_session;
    std::atomic<int> m_channel{-1};
    std::atomic<int> m_avIndex{-1};
    std::atomic<bool> m_starting{false};

    std::mutex m_sendMutex;
    std::condition_variable m_sendCond;
    std::deque<TUTKSendItem> m_sendQueue;
    size_t m_queuedAudio = 0;

    std::mutex m_audioMutex;
    std::deque<KelAudioFrame> m_audioQueue;

    TUTKClientSendThread *m_sendThread = nullptr;
    TUTKClientReadThread *m_readThread = nullptr;
    TUTKClientAudioThread *m_audioThread = nullptr;
};
