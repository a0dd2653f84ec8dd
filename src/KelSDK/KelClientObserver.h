#pragma once

#include "KelPacket.h"

#include <memory>

class KelClient;

// Receives the messages a session reads. The session servers implement it
// and pass each message on to their own observers.
class KelClientObserver
{
public:
    virtual ~KelClientObserver() = default;
    virtual void onMessage(std::shared_ptr<KelClient> session, const KelPacket &packet) {}
};
