#include "WSServer.h"

#include "WSClient.h"
#include "WSServerListenThread.h"

#include "RDTcpSocket.h"
#include "RDTcpSocketServer.h"

#include <fcntl.h>
#include <poll.h>

namespace {

// The listening socket class offers neither a readiness wait nor
// non-blocking mode; both are needed so the listen thread can sweep ended
// sessions and notice a stop while no one connects.
bool waitAcceptable(int handle, int milliseconds)
{
    pollfd p{handle, POLLIN, 0};
    return ::poll(&p, 1, milliseconds) > 0 && (p.revents & POLLIN);
}

// A listen queue of two drops the SYNs of a burst of apps reconnecting at
// once (after a restart of the server, say), and each dropped SYN costs that
// app a retry a second or more later.
class WSListenSocket : public RDTcpSocketServer
{
public:
    WSListenSocket() { m_backlog = 64; }
};

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
    return m_sessions.count();
}

void WSServer::send(const void *data, int length)
{
    // With login required, events (device lists with SIP passwords among
    // them) go only to sessions that have logged in.
    m_sessions.send(data, length, isAuthEnabled() != 0);
}

void WSServer::clearAuthorizations()
{
    m_sessions.clearAuthorizations();
}

void WSServer::onMessage(std::shared_ptr<KelClient> session, const KelPacket &packet)
{
    notifySessionData(this, std::move(session), packet);
}

void WSServer::sweep(bool all)
{
    closeAndAnnounce(m_sessions.take(all));
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
        if (!waitAcceptable(listener->handle(), 20))
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
        m_sessions.add(handle);
        notifySessionConnected(this, handle);
    }
    sweep(true);
}
