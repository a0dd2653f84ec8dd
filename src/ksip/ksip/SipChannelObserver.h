#pragma once

#include "SipPayload.h"

class SipCall;
class SipChannel;

// What an account tells its owner. Every operation receives the channel
// first and does nothing by default.
//
// All of them run on the manager's event thread with the manager lock held
// (so they must not take it again); onCallStopped and onCallRemoved coming
// from the channel's terminate and unregister operations also run with the
// channel lock held.
class SipChannelObserver
{
public:
    virtual ~SipChannelObserver() = default;

    // A call object was made for an incoming INVITE / is about to be deleted.
    virtual void onCallCreated(SipChannel *, SipCall *) {}
    virtual void onCallRemoved(SipChannel *, SipCall *) {}
    // The call's RTP started / stopped.
    virtual void onCallStarted(SipChannel *, SipCall *) {}
    virtual void onCallStopped(SipChannel *, SipCall *) {}

    virtual void onRegistered(SipChannel *, const char * /*host*/, int /*port*/, const char * /*user*/) {}
    virtual void onRegisterFailed(SipChannel *, const char * /*host*/, int /*port*/, const char * /*user*/) {}
    virtual void onUnregistered(SipChannel *, const char * /*host*/, int /*port*/, const char * /*user*/) {}
    virtual void onUnregisterFailed(SipChannel *, const char * /*host*/, int /*port*/, const char * /*user*/) {}

    // An incoming INVITE with the peer's payload lists (owned by the call).
    // The observer answers it (SipCall::answer / SipCall::ring) or leaves it.
    virtual void onCallInvite(SipChannel *, SipCall *, SipPayloadList * /*audio*/, SipPayloadList * /*video*/) {}
    virtual void onCallReinvite(SipChannel *, SipCall *) {}
    virtual void onCallNoAnswer(SipChannel *, SipCall *) {}
    virtual void onCallProceeding(SipChannel *, SipCall *) {}
    virtual void onCallRinging(SipChannel *, SipCall *) {}
    virtual void onCallAnswered(SipChannel *, SipCall *) {}
    virtual void onCallClosed(SipChannel *, SipCall *) {}
    virtual void onCallReleased(SipChannel *, SipCall *) {}
    virtual void onCallRedirected(SipChannel *, SipCall *) {}
    virtual void onCallRequestFailure(SipChannel *, SipCall *) {}
    virtual void onCallCancelled(SipChannel *, SipCall *) {}
};
