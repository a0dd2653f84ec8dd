#pragma once

// What a stack event reports. The numbering is the stack's own; callers
// compare against the names only.
enum class SipStackEventType {
    None = 0,

    // REGISTER of a registration (rid) answered 2xx / failed (final non-2xx
    // response or no answer at all; then the event carries no response).
    RegistrationSuccess,
    RegistrationFailure,

    // A new incoming INVITE (cid, did, tid; request = the INVITE). The stack
    // has already answered 100 Trying.
    CallInvite,
    // An INVITE inside an established dialog (cid, did, tid; request). The
    // application answers it with callBuildAnswer/callSendAnswer.
    CallReinvite,
    // Our INVITE got no final answer before timer B (cid; request).
    CallNoAnswer,
    // 100..179 (and 182..199) to our INVITE (cid, did when the answer carried
    // a To tag, tid; request, response).
    CallProceeding,
    // 180 or 181 to our INVITE.
    CallRinging,
    // 2xx to our INVITE (cid, did, tid; request, response). The application
    // sends the ACK (callBuildAck/callSendAck); the stack repeats that ACK for
    // every retransmitted 2xx.
    CallAnswered,
    // 3xx to our INVITE.
    CallRedirected,
    // 4xx, 5xx and 6xx to our INVITE. A 401/407 can be retried with
    // automaticAction().
    CallRequestFailure,
    CallServerFailure,
    CallGlobalFailure,
    // The ACK for our 2xx arrived (cid, did, tid of the INVITE; ack).
    CallAck,
    // The peer cancelled its INVITE before we answered (cid, did, tid; request
    // = the CANCEL). The stack has answered 200 to the CANCEL and 487 to the
    // INVITE.
    CallCancelled,

    // Requests other than INVITE/ACK/BYE/CANCEL inside a dialog, and the
    // answers to such requests sent by us (cid, did, tid; request, response).
    // Incoming OPTIONS, INFO and UPDATE without a body are answered 200 by the
    // stack, anything else 501, before CallMessageNew is raised.
    CallMessageNew,
    CallMessageProceeding,
    CallMessageAnswered,
    CallMessageRedirected,
    CallMessageRequestFailure,
    CallMessageServerFailure,
    CallMessageGlobalFailure,

    // The peer ended the established call with BYE (cid, did; request = the
    // BYE). The stack has answered 200.
    CallClosed,
    // The call is gone from the stack: after BYE either way, CANCEL, a final
    // error, a 2xx that never got its ACK (the stack sent BYE), or a peer that
    // vanished. Raised once per call; cid stays unknown to the stack after it.
    CallReleased,

    // A request outside any dialog other than INVITE/ACK/CANCEL (REGISTER,
    // OPTIONS, MESSAGE, ...) (tid; request). Answer it with
    // messageBuildAnswer/messageSendAnswer.
    MessageNew,
    // Answers to requests we sent with messageSendRequest (tid; request,
    // response, or no response when timer F fired).
    MessageProceeding,
    MessageAnswered,
    MessageRedirected,
    MessageRequestFailure,
    MessageServerFailure,
    MessageGlobalFailure,
};

// Readable name of an event type for log lines, e.g. "CallInvite".
const char *sipStackEventTypeName(SipStackEventType type);
