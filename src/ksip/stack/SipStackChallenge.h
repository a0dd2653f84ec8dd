#pragma once

#include "SipDigest.h"

// The last 401/407 challenge a registration or call received, and the
// nonce counter of the credentials answering it.
struct SipStackChallenge
{
    bool valid = false;     // a challenge was received
    bool proxy = false;     // 407 (Proxy-Authorization) rather than 401
    SipDigest::Params params;
    unsigned nonceCount = 0;
};
