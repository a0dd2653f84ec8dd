#include "StackPeer.h"

#include <algorithm>
#include <chrono>

StackPeer::StackPeer(const SipStackConfig &config)
    : stack(config)
{
    stack.init();
    stack.setLocalAddress("127.0.0.1");
    stack.listenAddr(17, "127.0.0.1", 0, 2, 0);
}

std::string StackPeer::uri(const std::string &user) const
{
    return "sip:" + user + "@127.0.0.1:" + std::to_string(port());
}

SipStackEventPtr StackPeer::waitFor(SipStackEventType type, int timeoutMs)
{
    using clock = std::chrono::steady_clock;
    const auto end = clock::now() + std::chrono::milliseconds(timeoutMs);
    while (true) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - clock::now()).count();
        if (left <= 0)
            return nullptr;
        SipStackEventPtr event = stack.eventWait(0, static_cast<int>(left));
        if (!event)
            return nullptr;
        seen.push_back(event->type);
        if (event->type == type)
            return event;
    }
}

int StackPeer::count(SipStackEventType type) const
{
    return static_cast<int>(std::count(seen.begin(), seen.end(), type));
}

void StackPeer::drain(int timeoutMs)
{
    while (SipStackEventPtr event = stack.eventWait(0, timeoutMs))
        seen.push_back(event->type);
}
