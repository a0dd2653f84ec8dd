#pragma once

#include "KelPacket.h"

#include <memory>

class KelClient;
class KelServer;

// What a session server reports. The JSON command API plugs in here.
// Calls come from the server's listen thread (connect, close) and from the
// sessions' read threads (data), possibly at the same time for different
// sessions; no server lock is held while they run, so an observer may call
// back into the server (send an event, add an observer).
class KelServerObserver
{
public:
    virtual void onSessionConnected(KelServer *server, std::shared_ptr<KelClient> session) {}
    virtual void onSessionClosed(KelServer *server, std::shared_ptr<KelClient> session) {}
    virtual void onSessionData(KelServer *server, std::shared_ptr<KelClient> session, const KelPacket &packet) {}

protected:
    ~KelServerObserver() = default;
};
