#pragma once

#include "RDList.h"
#include "SipStackConfig.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>

class SipCall;
class SipChannel;
class SipEventParserThread;
class SipStack;
class SipStackEvent;
struct osip_message;

// The program's own SIP user agent: one stack (signalling over UDP), the SIP
// accounts (SipChannel), the allocator of local RTP ports and the event
// thread that hands every stack event to the account and call it concerns.
// Nothing of zones or sources is known here; the application derives from it.
//
// Lock order: manager lock, then a channel's lock, then a call's locks; the
// stack lock is innermost and held only around stack calls. Channel-list
// changes happen only under the manager lock. Observer callbacks run on the
// event thread with the manager lock held.
class SipManager
{
public:
    static constexpr int kDefaultRtpBase = 35000;
    // Local RTP ports lie in base .. base + kRtpRange - 2, even numbers only.
    static constexpr int kRtpRange = 2000;
    static constexpr int kHousekeepingMs = 2000;
    static constexpr int kDefaultExpires = 360;
    static constexpr int kLocalIpSize = 32;

    // `rtpBase`: first local RTP port (tests give their own so that parallel
    // runs do not meet). `stackConfig`: the stack's timers and limits.
    explicit SipManager(int rtpBase = kDefaultRtpBase, const SipStackConfig &stackConfig = SipStackConfig());
    virtual ~SipManager();

    SipManager(const SipManager &) = delete;
    SipManager &operator=(const SipManager &) = delete;

    // Starts the stack on the first port from `port` (5060 when not above 0)
    // that is free for both UDP and TCP, listening over UDP when `udp` is
    // non-zero, and starts the event thread. 0, or the stack's error (then
    // nothing runs).
    int init(int port, int udp);
    // Stops the event thread, deletes every channel (ending its calls), then
    // quits the stack. Safe to repeat.
    void release();

    // Factory of account objects; the application makes its own kind.
    virtual SipChannel *createChannel(const char *host, int port, const char *user);
    // The first account whose registrar host is empty and port 0 (the one
    // that answers calls addressed straight to this agent), or null.
    virtual SipChannel *localLoopChannel();

    // Makes an account, registers it (expiry 360 s) and appends it. Null
    // without a running stack. The caller holds the manager lock.
    SipChannel *addChannel(const char *host, int port, const char *user, const char *authId, const char *authId2,
                           const char *password);
    // Unlinks and deletes an account. The caller holds the manager lock.
    void removeChannel(SipChannel *channel);
    // The caller holds the manager lock for these lookups.
    SipChannel *findChannel(const char *host, int port, const char *user) const;
    SipChannel *findChannelByUser(const char *user) const;
    // The account that owns the call with this stack call id, or null.
    SipChannel *findChannelByCall(int callId) const;
    // The account an incoming INVITE is for, by its Contact, top Via and To
    // (see the .cpp for the order of the tests), or null.
    SipChannel *findInviteChannel(const osip_message *request) const;
    const RDList<SipChannel> &channels() const { return m_channels; }

    const char *localIp() const { return m_localIp; }
    // Copies at most 31 characters; null clears.
    void setLocalIp(const char *ip);
    // Address the signalling and RTP sockets bind; null or empty (the
    // default) binds every address. Set before init.
    void setBindAddress(const char *ip);
    const char *bindAddress() const { return m_bindAddress; }
    int listenPort() const { return m_listenPort; }
    // The next free even local RTP port (its odd neighbour free as well),
    // advancing in steps of 2 and wrapping to the base after base + 1998.
    // -1 when the whole range is taken.
    int nextRtpPort();

    void lock();
    void unlock();

    // Milliseconds without RTP after which a call counts as ended (20000;
    // tests shorten it). Applies to calls made afterwards.
    int rtpTimeoutMs() const { return m_rtpTimeoutMs; }
    void setRtpTimeoutMs(int ms) { m_rtpTimeoutMs = ms; }

    // The stack; null before init and after release.
    SipStack *stack() const { return m_stack.get(); }

    // Wall-clock milliseconds as this manager sees them. Tests replace the
    // clock to run refresh and retry timing without waiting.
    int64_t currentMilliseconds() const;
    void setClock(std::function<int64_t()> clock);

    // One stack event (event thread).
    void parseEvent(SipStackEvent *event);
    // The 2 s pass of the event thread: registration refresh and the end of
    // invalid calls, for every account.
    void housekeeping();

protected:
    // A plain, non-recursive mutex guarding the channel list.
    std::mutex m_lock;

private:
    void onCallInvite(SipStackEvent *event);
    // Answers an out-of-dialog request 200 (stack lock taken here).
    void answerRequest(SipStackEvent *event, int status);

    RDList<SipChannel> m_channels;
    SipEventParserThread *m_thread = nullptr;
    std::unique_ptr<SipStack> m_stack;
    SipStackConfig m_stackConfig;
    int m_listenPort = 0;
    std::atomic<int> m_rtpTimeoutMs{20000};
    std::mutex m_portLock;
    int m_rtpCursor;
    int m_rtpBase;
    char m_localIp[kLocalIpSize] = {};
    char *m_bindAddress = nullptr;
    std::function<int64_t()> m_clock;
    mutable std::mutex m_clockLock;
};
