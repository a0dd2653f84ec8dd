#include "WSServer.h"

#include "WSClient.h"
#include "WSHandshake.h"
#include "WSServerListenThread.h"

#include "RDTcpSocket.h"
#include "RDTcpSocketServer.h"

#include <algorithm>
#include <cerrno>
#include <deque>
#include <fcntl.h>
#include <poll.h>

namespace {

// A short listen queue drops the SYNs of a burst of connections (apps
// reconnecting after a restart, or a flood), and each dropped SYN costs its
// sender a retry a second or more later: a real app caught in a flood would
// then arrive together with the flood's own retries.
class WSListenSocket : public RDTcpSocketServer
{
public:
    WSListenSocket() { m_backlog = 512; }
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
    m_wake.clear();
    m_thread = new WSServerListenThread(this);
    m_thread->setName("WSServer Listen");
    m_thread->start();
    return true;
}

void WSServer::stop()
{
    if (m_thread) {
        m_thread->stop();
        m_wake.signal();
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

bool WSServer::hasRecipients() const
{
    return m_sessions.hasRecipients(isAuthEnabled() != 0);
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
    // The listening socket lives from start() until stop() has joined this
    // thread, so it is used here without the lock.
    RDTcpSocketServer *listener = m_listenSocket.get();
    // Connections wait here, in one poll set and without threads, until
    // their handshake head is in: a host that opens hundreds of connections
    // and sends nothing costs a descriptor each for a few seconds, and never
    // a session's place.
    std::deque<Pending> pending; // oldest first, so also the first to time out
    std::vector<pollfd> fds;
    while (!thread->isStopped() && listener && listener->isValid()) {
        sweep(false);
        fds.clear();
        fds.push_back({m_wake.handle(), POLLIN, 0});
        fds.push_back({listener->handle(), POLLIN, 0});
        for (const auto &p : pending)
            fds.push_back({p.socket->handle(), POLLIN, 0});
        int timeout = -1; // nothing is due: sleep until something happens
        if (!pending.empty())
            timeout = int(std::max(0.0, std::min(pending.front().deadline - monotonicSeconds(), 60.0)) * 1000) + 1;
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR)
            break;
        if (fds[0].revents & POLLIN)
            m_wake.clear(); // a stop (seen below) or an ended session (swept above)

        std::vector<Pending> ready;
        for (size_t i = pending.size(); i-- > 0;) {
            if (!fds[i + 2].revents)
                continue;
            Pending &p = pending[i];
            const WSHandshake::Status st = readHandshake(p);
            if (st == WSHandshake::Status::Ok) {
                ready.push_back(std::move(p));
                pending.erase(pending.begin() + long(i));
                continue;
            }
            if (st == WSHandshake::Status::Bad) {
                delete p.socket;
                pending.erase(pending.begin() + long(i));
            }
        }
        for (auto it = ready.rbegin(); it != ready.rend(); ++it)
            admit(*it);

        const double now = monotonicSeconds();
        while (!pending.empty() && pending.front().deadline <= now) {
            delete pending.front().socket;
            pending.pop_front();
        }

        if (!(fds[1].revents & POLLIN))
            continue;
        // Every connection the queue holds; the listening socket does not
        // block, so this ends when the queue is empty.
        while (RDTcpSocket *accepted = listener->accept()) {
            accepted->setNonBlocking();
            if (pending.size() >= std::max<size_t>(1, m_limits.maxPendingHandshakes)) {
                // The oldest makes way, unless its handshake has come in
                // meanwhile (an app that connected just before a burst).
                Pending &oldest = pending.front();
                if (readHandshake(oldest) == WSHandshake::Status::Ok)
                    admit(oldest);
                delete oldest.socket;
                pending.pop_front();
            }
            Pending p;
            p.socket = accepted;
            p.deadline = monotonicSeconds() + m_limits.handshakeTimeout;
            pending.push_back(std::move(p));
        }
    }
    for (auto &p : pending)
        delete p.socket;
    sweep(true);
}

WSHandshake::Status WSServer::readHandshake(Pending &pending)
{
    char chunk[2048];
    const int n = pending.socket->recv(chunk, sizeof chunk);
    if (n == 0 || (n < 0 && !pending.socket->isValid()))
        return WSHandshake::Status::Bad; // gone before its handshake
    if (n > 0)
        pending.bytes.append(chunk, size_t(n));
    size_t headLength = 0;
    return WSHandshake::findHead(pending.bytes, headLength);
}

void WSServer::admit(Pending &pending)
{
    std::unique_ptr<RDTcpSocket> socket(pending.socket);
    pending.socket = nullptr;
    if (sessionCount() >= m_maxSessions) {
        // Each session costs two threads: past the cap the app is turned
        // away at once.
        static const char busy[] = "HTTP/1.1 503 Service Unavailable\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        socket->send(busy, int(sizeof busy - 1));
        return;
    }
    auto *client = new WSClient(socket.release(), m_limits);
    client->setObserver(static_cast<KelClientObserver *>(this));
    client->preload(pending.bytes);
    client->setEndedHook([this] { m_wake.signal(); });
    client->setSelf();
    std::shared_ptr<KelClient> handle = client->getSelf();
    client->open();
    m_sessions.add(handle);
    notifySessionConnected(this, handle);
}
