#pragma once

#include "KelClientObserver.h"
#include "RDSocketAddress.h"
#include "KelServer.h"
#include "PlatformWakeEvent.h"
#include "WSHandshake.h"
#include "KelSessionList.h"
#include "WSSessionLimits.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class RDTcpSocket;
class RDTcpSocketServer;
class WSServerListenThread;

// Accepts phone-app WebSocket connections and turns each into a WSClient
// session. Sessions are announced to the KelServer observers.
class WSServer : public KelServer, public KelClientObserver
{
public:
    WSServer();
    ~WSServer() override;

    void setAddress(const RDSocketAddress &address);
    // At most this many sessions exist at once; further handshakes are
    // refused with 503 and closed. Connections that have not sent their
    // handshake yet wait apart (WSSessionLimits::maxPendingHandshakes) and
    // never take a session's place.
    void setMaxSessions(int count);
    void setSessionLimits(const WSSessionLimits &limits);

    bool start() override;
    void stop() override;
    bool isStarted() const override;
    bool isListening() const override;
    void send(const void *data, int length) override;
    bool hasRecipients() const override;

    void onMessage(std::shared_ptr<KelClient> session, const KelPacket &packet) override;

    // Sessions in the list now.
    int sessionCount() const;
    // The port listened on (the one the system chose when 0 was asked);
    // 0 when not listening.
    int listenPort() const;

protected:
    void clearAuthorizations() override;

private:
    friend class WSServerListenThread;

    // A connection whose opening handshake is still arriving.
    struct Pending {
        RDTcpSocket *socket = nullptr;
        std::string bytes;
        double deadline = 0;
    };

    void doListen(WSServerListenThread *thread);
    // Turns a connection whose handshake head is in into a session (or a
    // 503 when the sessions are all taken).
    void admit(Pending &pending);
    // Reads what has arrived on a waiting connection: Ok once the handshake
    // head is in, Bad when it never can be (or the peer left).
    WSHandshake::Status readHandshake(Pending &pending);
    // Takes the sessions that are no longer open (or all) out of the list
    // under the lock, then closes and announces them with no lock held.
    void sweep(bool all);

    RDSocketAddress m_address;
    int m_maxSessions = 16;
    WSSessionLimits m_limits;

    mutable std::mutex m_listenMutex; // guards m_listenSocket
    std::unique_ptr<RDTcpSocketServer> m_listenSocket;

    KelSessionList m_sessions;

    WSServerListenThread *m_thread = nullptr;
    // Ends the listen thread's wait: a stop, or a session that ended.
    PlatformWakeEvent m_wake;
};
