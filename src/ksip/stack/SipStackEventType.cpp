#include "SipStackEventType.h"

const char *sipStackEventTypeName(SipStackEventType type)
{
    switch (type) {
    case SipStackEventType::None: return "None";
    case SipStackEventType::RegistrationSuccess: return "RegistrationSuccess";
    case SipStackEventType::RegistrationFailure: return "RegistrationFailure";
    case SipStackEventType::CallInvite: return "CallInvite";
    case SipStackEventType::CallReinvite: return "CallReinvite";
    case SipStackEventType::CallNoAnswer: return "CallNoAnswer";
    case SipStackEventType::CallProceeding: return "CallProceeding";
    case SipStackEventType::CallRinging: return "CallRinging";
    case SipStackEventType::CallAnswered: return "CallAnswered";
    case SipStackEventType::CallRedirected: return "CallRedirected";
    case SipStackEventType::CallRequestFailure: return "CallRequestFailure";
    case SipStackEventType::CallServerFailure: return "CallServerFailure";
    case SipStackEventType::CallGlobalFailure: return "CallGlobalFailure";
    case SipStackEventType::CallAck: return "CallAck";
    case SipStackEventType::CallCancelled: return "CallCancelled";
    case SipStackEventType::CallMessageNew: return "CallMessageNew";
    case SipStackEventType::CallMessageProceeding: return "CallMessageProceeding";
    case SipStackEventType::CallMessageAnswered: return "CallMessageAnswered";
    case SipStackEventType::CallMessageRedirected: return "CallMessageRedirected";
    case SipStackEventType::CallMessageRequestFailure: return "CallMessageRequestFailure";
    case SipStackEventType::CallMessageServerFailure: return "CallMessageServerFailure";
    case SipStackEventType::CallMessageGlobalFailure: return "CallMessageGlobalFailure";
    case SipStackEventType::CallClosed: return "CallClosed";
    case SipStackEventType::CallReleased: return "CallReleased";
    case SipStackEventType::MessageNew: return "MessageNew";
    case SipStackEventType::MessageProceeding: return "MessageProceeding";
    case SipStackEventType::MessageAnswered: return "MessageAnswered";
    case SipStackEventType::MessageRedirected: return "MessageRedirected";
    case SipStackEventType::MessageRequestFailure: return "MessageRequestFailure";
    case SipStackEventType::MessageServerFailure: return "MessageServerFailure";
    case SipStackEventType::MessageGlobalFailure: return "MessageGlobalFailure";
    }
    return "Unknown";
}
