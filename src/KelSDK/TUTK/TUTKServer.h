#pragma once

#include "KelClientObserver.h"
#include "KelServer.h"
#include "KelSessionList.h"
#include "RDSocketAddress.h"

#include <QString>

#include <atomic>
#include <memory>
#include <mutex>
#include <vector>

class TUTKClient;
class TUTKServerListenThread;

// Makes the PC reachable for phone apps through the P2P library: logs in to
// the rendezvous service as a device under its uid, accepts sessions and
// turns each into a TUTKClient. Sessions are announced to the KelServer
// observers.
class TUTKServer : public KelServer, public KelClientObserver
{
public:
    // Bytes 0-3 the record size 16 (little-endian), 4-7 zero, 8-15 the
    // device key.
    static const unsigned char LoginInfo[16];
    static constexpr int LoginRetryMs = 5000;
    static constexpr unsigned int ListenWaitMs = 100;

    TUTKServer();
    ~TUTKServer() override;

    // The device uid used at the next login.
    void setUid(const QString &uid);
    // Where the rendezvous service listens, from the next start on; without
    // a call the library's own default holds.
    void setRendezvous(const RDSocketAddress &address);
    // At most this many sessions at once (the library's table), from the
    // next start on.
    void setMaxSessions(int count);

    bool start() override;
    void stop() override;
    bool isStarted() const override;
    // True while the device is logged in.
    bool isListening() const override;
    void send(const void *data, int length) override;
    bool hasRecipients() const override;

    void onMessage(std::shared_ptr<KelClient> session, const KelPacket &packet) override;

    int sessionCount() const;
    // Login attempts made so far (each failure is retried after 5 s).
    int loginAttempts() const { return m_loginAttempts.load(); }

protected:
    void clearAuthorizations() override;

private:
    friend class TUTKServerListenThread;

    void doListen(TUTKServerListenThread *thread);
    void abortOpening();
    // Takes the sessions that are no longer open (or all) out of the list,
    // then closes and announces them with no lock held.
    void sweep(bool all);

    mutable std::mutex m_settingsMutex;
    QString m_uid;
    bool m_rendezvousSet = false;
    RDSocketAddress m_rendezvous;
    int m_maxSessions = 3;

    std::atomic<bool> m_loggedIn{false};
    std::atomic<int> m_loginAttempts{0};

    KelSessionList m_sessions;

    std::mutex m_openingMutex;
    TUTKClient *m_opening = nullptr;

    TUTKServerListenThread *m_thread = nullptr;
};
