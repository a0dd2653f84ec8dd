#include "WSServer.h"

#include "WSClient.h"
#include "WSServerListenThread.h"

#include "RDTcpSocket.h"
#include "RDTcpSocketServer.h"

#include <fcntl.h>

namespace {

// A listen queue of two drops the SYNs of a burst of apps reconnecting at
// once (after a restart of the server, say), and each dropped SYN costs that
// app a retry a second or more later.
class WSListenSocket : public RDTcpSocketServer
{
public:
    WSListenSocket() { m_backlog = 64; }
};

// The listening socket class offers no non-blocking mode; accept() must not
// block when a connection went away between the wait and the accept.
void setNonBlocking(int handle)
{
    const int flags = ::fcntl(handle, F_GETFL, 0);
    if (flags >= 0)
        ::fcntl(handle, F_SETFL, flags | O_NONBLOCK);
}

} // namespace

WSServer::WSServer() = default;

WSServer::~WSServer()
{
    WSServer::stop();
}

void WSServer::setAddress(const RDSocketAddress &address)
{
    m_address = address;
}

void WSServer::setMaxSessions(int count)
{
    m_maxSessions = count > 0 ? count : 1;
}

void WSServer::setSessionLimits(const WSSessionLimits &limits)
{
    m_limits = limits;
}

bool WSServer::start()
{
    stop();
    // Listen here, not on the thread, so a busy port is reported to the
    // caller instead of leaving a server that looks started but is deaf.
    std::unique_ptr<RDTcpSocketServer> socket = std::make_unique<WSListenSocket>();
    if (socket->listen(m_address) < 0)
        return false;
    setNonBlocking(socket->handle());
    {
        std::lock_guard<std::mutex> lock(m_listenMutex);
        m_listenSocket = std::move(socket);
    }
    m_thread = new WSServerListenThread(this);
    m_thread->setName("WSServer Listen");
    m_thread->start();
    return true;
}

void WSServer::stop()
{
    if (m_thread) {
        m_thread->stop();
        m_thread->wait();
        delete m_thread;
        m_thread = nullptr;
    }
    // The thread closes the sessions on its way out; a server that never ran
    // has none.
    sweep(true);
    std::lock_guard<std::mutex> lock(m_listenMutex);
    m_listenSocket.reset();
}

bool WSServer::isStarted() const
{
    return m_thread != nullptr;
}

bool WSServer::isListening() const
{
    std::lock_guard<std::mutex> lock(m_listenMutex);
    return m_listenSocket && m_listenSocket->isValid();
}

int WSServer::listenPort() const
{
    std::lock_guard<std::mutex> lock(m_listenMutex);
    return m_listenSocket ? m_listenSocket->address().port : 0;
}

int WSServer::sessionCount() const
{
    std::lock_guard<std::mutex> lock(m_sessionMutex);
    return int(m_sessions.size());
}

std::vector<std::shared_ptr<KelClient>> WSServer::snapshot() const
{
    std::lock_guard<std::mutex> lock(m_sessionMutex);
    return m_sessions;
}

void WSServer::send(const void *data, int length)
{
    if (!data || length <= 0)
        return;
    // With login required, events (device lists with SIP passwords among
    // them) go only to sessions that have logged in.
    const bool authOnly = isAuthEnabled() != 0;
    for (const auto &session : snapshot()) {
        if (authOnly && !session->isAuthorized())
            continue;
        session->send(data, length);
    }
}

void WSServer::clearAuthorizations()
{
    for (const auto &session : snapshot())
        session->setAuthorized(false);
}

void WSServer::onMessage(std::shared_ptr<KelClient> session, const KelPacket &packet)
{
    notifySessionData(this, std::move(session), packet);
}

void WSServer::sweep(bool all)
{
    std::vector<std::shared_ptr<KelClient>> gone;
    {
        std::lock_guard<std::mutex> lock(m_sessionMutex);
        for (auto it = m_sessions.begin(); it != m_sessions.end();) {
            if (all || !(*it)->isOpen()) {
                gone.push_back(*it);
                it = m_sessions.erase(it);
            } else {
                ++it;
            }
        }
    }
    // Joining a session's threads may wait for a request that is sending
    // an event through this server: no lock may be held here.
    for (auto &session : gone) {
        session->close();
        notifySessionClosed(this, session);
        session->resetSelf();
    }
}

void WSServer::doListen(WSServerListenThread *thread)
{
    while (!thread->isStopped()) {
        sweep(false);
        // The listening socket lives from start() until stop() has joined
        // this thread, so it is used here without the lock.
        RDTcpSocketServer *listener = m_listenSocket.get();
        if (!listener || !listener->isValid())
            break;
        // Ended sessions are swept every 20 ms while there are any; with
        // none the thread sleeps until someone connects or it is stopped.
        const int waitMs = sessionCount() > 0 ? 20 : -1;
        if (thread->waitReadable(listener->handle(), waitMs) <= 0)
            continue;
        RDTcpSocket *accepted = listener->accept();
        if (!accepted)
            continue;
        accepted->setNonBlocking();
        if (sessionCount() >= m_maxSessions) {
            // Each session costs two threads: past the cap the connection is
            // turned away at once.
            static const char busy[] = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
            accepted->send(busy, int(sizeof busy - 1));
            delete accepted;
            continue;
        }
        auto *client = new WSClient(accepted, m_limits);
        client->setObserver(static_cast<KelClientObserver *>(this));
        client->setSelf();
        std::shared_ptr<KelClient> handle = client->getSelf();
        client->open();
        {
            std::lock_guard<std::mutex> lock(m_sessionMutex);
            m_sessions.push_back(handle);
        }
        notifySessionConnected(this, handle);
    }
    sweep(true);
}
