#pragma once

#include "KelAudioFrame.h"
#include "KelPacket.h"

#include <atomic>
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

    KelClient(const KelClient &) = delete;
    KelClient &operator=(const KelClient &) = delete;
};
