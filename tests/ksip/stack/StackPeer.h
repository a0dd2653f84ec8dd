#pragma once

#include "SipStack.h"

#include <string>
#include <vector>

// One SIP stack on 127.0.0.1 with an ephemeral port, plus the events it has
// raised so far, for tests that run two user agents side by side.
class StackPeer
{
public:
    explicit StackPeer(const SipStackConfig &config = SipStackConfig());

    SipStack stack;
    int port() const { return stack.listenPort(); }
    std::string uri(const std::string &user) const;

    // Takes events until one of `type` arrives (within timeoutMs); every
    // event taken is also kept in seen. Null on time-out.
    SipStackEventPtr waitFor(SipStackEventType type, int timeoutMs = 5000);
    // Events taken so far of `type`.
    int count(SipStackEventType type) const;
    // Takes whatever arrives within timeoutMs into seen.
    void drain(int timeoutMs);

    std::vector<SipStackEventType> seen;
};
