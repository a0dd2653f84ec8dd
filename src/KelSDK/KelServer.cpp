#include "KelServer.h"

#include "KelClient.h"
#include "KelServerObserver.h"

namespace {

// Constant-time equality: the loop runs over the longer input whatever the
// contents, so timing shows neither where nor whether the values differ.
bool equalConstantTime(const std::string &a, const std::string &b)
{
    const size_t n = a.size() > b.size() ? a.size() : b.size();
    unsigned diff = unsigned(a.size() ^ b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char y = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff |= unsigned(x ^ y);
    }
    return diff == 0;
}

} // namespace

KelServer::KelServer() = default;

KelServer::~KelServer() = default;

void KelServer::addObserver(KelServerObserver *observer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_observers.push_back(observer);
}

std::vector<KelServerObserver *> KelServer::observers() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_observers;
}

// Observers run on a copy of the list with no lock held: a request handler
// that starts a zone sends events back through this server, and a stop that
// waits for a session thread must never wait behind a callback.
void KelServer::notifySessionConnected(KelServer *server, std::shared_ptr<KelClient> session)
{
    for (KelServerObserver *o : observers()) {
        if (o)
            o->onSessionConnected(server, session);
    }
}

void KelServer::notifySessionClosed(KelServer *server, std::shared_ptr<KelClient> session)
{
    for (KelServerObserver *o : observers()) {
        if (o)
            o->onSessionClosed(server, session);
    }
}

void KelServer::notifySessionData(KelServer *server, std::shared_ptr<KelClient> session, const KelPacket &packet)
{
    for (KelServerObserver *o : observers()) {
        if (o)
            o->onSessionData(server, session, packet);
    }
}

void KelServer::closeAndAnnounce(const std::vector<std::shared_ptr<KelClient>> &sessions)
{
    for (const auto &session : sessions) {
        session->close();
        notifySessionClosed(this, session);
        session->resetSelf();
    }
}

void KelServer::setAuth(int enable, const std::string &user, const std::string &passwordDigest)
{
    bool changed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        changed = m_authEnable != enable || m_user != user || m_passwordDigest != passwordDigest;
        m_authEnable = enable;
        m_user = user;
        m_passwordDigest = passwordDigest;
    }
    if (changed)
        clearAuthorizations();
}

int KelServer::isAuthEnabled() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_authEnable;
}

bool KelServer::checkAuth(const std::string &user, const std::string &passwordDigest) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const bool userOk = equalConstantTime(user, m_user);
    const bool passOk = equalConstantTime(passwordDigest, m_passwordDigest);
    return userOk & passOk;
}
