#pragma once

#include "SipStackChallenge.h"

#include <string>

// One registration context of the stack (a registration id).
struct SipStackRegistration
{
    int rid = 0;
    std::string from;       // address of record, From and To
    std::string registrar;  // Request-URI
    std::string contact;    // empty: the stack's default contact
    int expires = 3600;
    std::string callId;
    std::string fromTag;
    unsigned cseq = 0;
    int pendingTid = 0;     // REGISTER waiting for its final answer, or 0
    SipStackChallenge challenge;
};
