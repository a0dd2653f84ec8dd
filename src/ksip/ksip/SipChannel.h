#pragma once

#include "RDList.h"
#include "RDThreadLocker.h"
#include "SipPayload.h"

#include <atomic>
#include <cstdint>

class SipCall;
class SipChannelObserver;
class SipManager;
class SipStack;
class SipStackEvent;

// One SIP account of the user agent: it registers a user on a registrar,
// keeps the registration alive, places and answers calls on it and tells its
// observer of everything that happens. The manager owns the channels and
// feeds them stack events on its event thread.
//
// Locks: the channel lock guards the call list and is taken inside the
// manager lock; the stack lock is taken innermost around stack calls.
class SipChannel
{
public:
    // Registration states.
    enum State {
        StateNew = 0,
        StateRegistering = 1,
        StateRegistered = 2,
        StateRefreshDue = 3,
        StateFailed = 4,
        StateUnregistering = 5,
        StateUnregistered = 6,
        StateUnregisterFailed = 7,
    };
    // Authenticated resends of one REGISTER or INVITE before its 401/407
    // stands as a failure.
    static constexpr int kMaxAuthRetries = 4;

    SipChannel(SipManager *manager, SipStack *stack);
    // Ends every call, clears the observer and forgets the registration.
    virtual ~SipChannel();

    SipChannel(const SipChannel &) = delete;
    SipChannel &operator=(const SipChannel &) = delete;

    // Factory of call objects; the application makes its own kind.
    virtual SipCall *createCall();

    // Stores the account and sends its first REGISTER (nothing is sent when
    // `host` is empty). `contact` null: sip:<user>@<local IP>:<listen port>.
    // Returns 0.
    int registerAccount(const char *host, int port, const char *user, const char *authId, const char *authId2,
                        const char *password, const char *contact, int expires);
    // Ends and deletes every call, then sends a REGISTER with expiry 0.
    void unregister();
    // Forgets the stack's registration context.
    void removeRegistration();
    // The 2 s pass: marks a due refresh, resends a pending REGISTER and
    // starts a failed account over.
    void refreshRegistration();

    // Places `call` (its remote number set) with this side's offer; the call
    // owns the lists from here. Returns the stack's call id (> 0) or an
    // error. The caller appends the call (addCall) under the manager lock.
    int invite(SipCall *call, SipPayloadList *audio, SipPayloadList *video);
    // Answers the call's INVITE 200 with these lists as this side's SDP. With
    // no payload at all, or an answer that cannot be written, the INVITE is
    // refused 488 instead. Returns 0, or -1 when nothing could be sent.
    int answerCall(SipCall *call, SipPayloadList *audio, SipPayloadList *video);
    // 180 without body.
    void ringCall(SipCall *call);
    // Marks the call invalid, ends it in the stack, stops its RTP (telling
    // onCallStopped when it ran) and tells onCallRemoved. The call stays in
    // the list.
    void endCall(SipCall *call);
    // Ends, unlinks and deletes every call with this remote number.
    void terminateCall(const char *number);
    void terminateAllCalls();
    // Ends, unlinks and deletes every call marked invalid (2 s pass).
    void terminateInvalidCalls();
    // Stops the call's RTP, tells onCallRemoved, unlinks and deletes it.
    // The caller holds the channel lock.
    void removeCall(SipCall *call);
    // Appends a call (an outgoing one after invite). Takes the channel lock.
    void addCall(SipCall *call);

    void setVolume(int volume);
    int volume() const { return m_volume; }
    SipCall *findCall(int callId);
    bool isIdle();
    // The call list; read it under the channel lock.
    const RDList<SipCall> &calls() const { return m_calls; }

    void lock();
    void unlock();

    int state() const { return m_state; }
    void setState(int state) { m_state = state; }
    int registrationId() const { return m_rid; }
    const char *host() const { return m_host; }
    int port() const { return m_port; }
    const char *user() const { return m_user; }
    const char *authId() const { return m_authId; }
    const char *authId2() const { return m_authId2; }
    const char *password() const { return m_password; }
    // Seconds a registration lasts: the smaller of what this side asked and
    // what the registrar granted in its last 2xx.
    int effectiveExpires() const;
    // Milliseconds after a successful registration when it is refreshed.
    int64_t refreshIntervalMs() const;
    void setObserver(SipChannelObserver *observer) { m_observer = observer; }
    SipChannelObserver *observer() const { return m_observer; }
    SipManager *manager() const { return m_manager; }
    int nextRtpPort();

    // Stack events, on the manager's event thread under the manager lock.
    void onRegisterSuccess(SipStackEvent *event);
    void onRegisterFailure(SipStackEvent *event);
    void onCallInvite(const char *fromUser, const char *displayName, SipStackEvent *event);
    void onCallReinvite(SipCall *call, SipStackEvent *event);
    void onCallNoAnswer(SipCall *call, SipStackEvent *event);
    void onCallProceeding(SipCall *call, SipStackEvent *event);
    void onCallRinging(SipCall *call, SipStackEvent *event);
    void onCallAnswered(SipCall *call, SipStackEvent *event);
    void onCallRedirected(SipCall *call, SipStackEvent *event);
    void onCallRequestFailure(SipCall *call, SipStackEvent *event);
    void onCallAck(SipCall *call, SipStackEvent *event);
    void onCallCancelled(SipCall *call, SipStackEvent *event);
    void onCallClosed(SipCall *call, SipStackEvent *event);
    void onCallReleased(SipCall *call, SipStackEvent *event);

protected:
    // Appends a call while the caller already holds the channel lock.
    void appendCallLocked(SipCall *call) { m_calls.append(call); }

private:
    // Sets the credentials and resends the challenged INVITE while the call
    // has retries left. False when the event is no challenge or the retries
    // are used up.
    bool retryWithCredentials(SipCall *call, SipStackEvent *event);
    // An answer to our INVITE: a challenge is retried or ends the call as a
    // request failure; anything else is told through `tell`.
    void onCallProgress(SipCall *call, SipStackEvent *event,
                        void (SipChannelObserver::*tell)(SipChannel *, SipCall *));
    // Tells `tell` and removes the call (closed, released, cancelled).
    void endedByPeer(SipCall *call, void (SipChannelObserver::*tell)(SipChannel *, SipCall *));
    // Writes the call's SDP (this side's lists and ports) into `buffer`.
    int writeSdp(SipCall *call, char *buffer, int size) const;
    // Sends `status` with the call's current SDP, or without body.
    int sendAnswer(int tid, int status, const char *sdp);
    // Reads the peer's SDP of transaction `tid` into the call. False when the
    // transaction has no SDP.
    bool takeRemoteSdp(SipCall *call, int tid);
    void stopCallMedia(SipCall *call);
    // Ends and deletes every call in the list; caller holds the channel lock.
    void endAllCalls();
    void registerAgain(const char *contact);
    // Makes this account's user and password the stack's credentials (the
    // stack holds one set for every account). Stack lock held.
    // Starts the answered call's media and tells the observer; a call
    // without usable SDP, or whose media cannot start, is ended instead.
    void startMediaOrEnd(SipCall *call, bool usable);
    void useOwnCredentials();

    SipManager *m_manager;
    int m_rid = 0;
    int m_retries = 0;
    RDThreadLocker m_lock;
    RDList<SipCall> m_calls;
    int m_volume = 100;
    std::atomic<int> m_state{StateNew};
    int m_expires = 0;
    int m_grantedExpires = 0;
    int64_t m_lastSuccess = 0;
    char *m_host = nullptr;
    int m_port = 0;
    char *m_user = nullptr;
    char *m_authId = nullptr;
    char *m_authId2 = nullptr;
    char *m_password = nullptr;
    SipStack *m_stack;
    SipChannelObserver *m_observer = nullptr;
};
