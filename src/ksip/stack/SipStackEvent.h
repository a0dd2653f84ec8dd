#pragma once

#include "SipStackEventType.h"

#include <memory>
#include <string>

struct osip_message;

// One event of the stack's queue. Every message is the event's own copy,
// freed with the event; a message the event type does not carry is null.
// Identifiers are 0 when the event does not concern that kind of context.
class SipStackEvent
{
public:
    SipStackEvent() = default;
    ~SipStackEvent();
    SipStackEvent(const SipStackEvent &) = delete;
    SipStackEvent &operator=(const SipStackEvent &) = delete;

    SipStackEventType type = SipStackEventType::None;
    int rid = 0;  // registration id (registration events)
    int cid = 0;  // call id (call events)
    int did = 0;  // dialog id of the call (0 before the peer's tag is known)
    int tid = 0;  // transaction the event concerns
    osip_message *request = nullptr;   // the request of the transaction
    osip_message *response = nullptr;  // the last response of it, if any
    osip_message *ack = nullptr;       // CallAck: the ACK received
    std::string textinfo;              // short description for the log
    // Source address and port of the received request that raised the
    // event (CallInvite, CallReinvite, CallAck, CallCancelled, CallClosed,
    // CallMessageNew, MessageNew); empty and 0 for other events.
    std::string remoteAddress;
    int remotePort = 0;
};

using SipStackEventPtr = std::unique_ptr<SipStackEvent>;
