#pragma once

#include "KelPacket.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

class KelClient;
class KelServerObserver;

// Base of the session servers: observers and the login settings.
class KelServer
{
public:
    KelServer();
    virtual ~KelServer();

    // (Re)creates the listening socket and the listen thread; false when the
    // server cannot listen.
    virtual bool start() = 0;
    // Stops the listen thread and closes every session.
    virtual void stop() = 0;
    virtual bool isStarted() const = 0;
    virtual bool isListening() const = 0;
    // Queues the bytes to every session (with login required: to every
    // session that has logged in).
    virtual void send(const void *data, int length) = 0;
    // Whether send() would reach a session now: events nobody would receive
    // are not built. A server that cannot tell says true.
    virtual bool hasRecipients() const { return true; }

    void addObserver(KelServerObserver *observer);
    void notifySessionConnected(KelServer *server, std::shared_ptr<KelClient> session);
    void notifySessionClosed(KelServer *server, std::shared_ptr<KelClient> session);
    void notifySessionData(KelServer *server, std::shared_ptr<KelClient> session, const KelPacket &packet);

    void setAuth(int enable, const std::string &user, const std::string &passwordDigest);
    int isAuthEnabled() const;
    // Byte-for-byte comparison with the stored values, in time that does
    // not depend on where they differ.
    bool checkAuth(const std::string &user, const std::string &passwordDigest) const;

protected:
    // Called after setAuth changed the stored values: sessions that logged
    // in with the old credentials must log in again.
    virtual void clearAuthorizations() {}
    // Closes each session, announces it as closed and drops its self
    // handle. Called with no lock held.
    void closeAndAnnounce(const std::vector<std::shared_ptr<KelClient>> &sessions);

private:
    std::vector<KelServerObserver *> observers() const;

    mutable std::mutex m_mutex;
    std::vector<KelServerObserver *> m_observers;
    int m_authEnable = 0;
    std::string m_user;
    std::string m_passwordDigest;

    KelServer(const KelServer &) = delete;
    KelServer &operator=(const KelServer &) = delete;
};
