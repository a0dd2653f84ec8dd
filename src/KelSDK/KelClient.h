#pragma once

#include "KelAudioFrame.h"
#include "KelPacket.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

class KelClientObserver;

// One phone-app session. Sessions are held by shared handle: the server's
// list, pending replies and the SIP layer's audio bridges may each keep one.
class KelClient
{
public:
    KelClient();
    virtual ~KelClient();

    // Starts the transport's threads.
    virtual void open() {}
    // Stops the threads, drops queued data, closes the transport. Must not be
    // called from one of the session's own threads.
    virtual void close() {}
    virtual bool isRunning() const { return false; }
    virtual bool isOpen() const { return false; }

    virtual void sendText(const std::string &text);
    virtual void send(const void *data, int length);
    virtual void queueData(const KelPacket &packet) = 0;
    virtual void queueAudio(const KelAudioFrame &frame) = 0;
    // Moves the oldest received audio frame into `frame`, or resets it
    // (length 0) when none is queued.
    virtual void takeAudio(KelAudioFrame &frame) = 0;

    // Received audio without polling: read audioSequence() before
    // takeAudio(); when nothing was waiting, waitForAudio(seen, ms) returns
    // once the sequence has moved on (a frame arrived, the session closed or
    // a reader was told to stop), or after `timeoutMs`. True when it moved.
    uint64_t audioSequence() const;
    bool waitForAudio(uint64_t seen, int timeoutMs);
    // Moves the sequence on and wakes every waiter. Transports call it for
    // each received frame and when they close; readers call it to stop.
    void notifyAudio();

    // The session becomes owned by its shared handles.
    virtual void setSelf();
    // Drops the self handle; the session is deleted when no other remains.
    virtual void resetSelf();
    virtual std::shared_ptr<KelClient> getSelf() const;

    void setObserver(KelClientObserver *observer);
    bool isAuthorized() const;
    void setAuthorized(bool authorized);

    // Hands a received message to the observer with this session's handle.
    void notifyMessage(const KelPacket &packet);

private:
    KelClientObserver *m_observer = nullptr;
    mutable std::mutex m_selfMutex;
    std::shared_ptr<KelClient> m_self;
    std::atomic<bool> m_authorized{false};
    mutable std::mutex m_audioWaitMutex;
    std::condition_variable m_audioWait;
    uint64_t m_audioSequence = 0;

    KelClient(const KelClient &) = delete;
    KelClient &operator=(const KelClient &) = delete;
};
