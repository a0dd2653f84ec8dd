#include "RDHttpStreamServer.h"

#include "RDHttpBaseRequest.h"
#include "RDHttpConnection.h"
#include "RDHttpStreamServerClientThread.h"
#include "RDHttpStreamServerThread.h"

#include "RDLog.h"
#include "RDStringHelper.h"
#include "RDTcpSocket.h"
#include "RDTcpSocketServer.h"

#include <algorithm>

namespace {

// A listening socket whose backlog absorbs a burst of connects: with the
// default of 2, clients beyond it wait for SYN retransmits (a second or more)
// before the accept thread even sees them.
class RDHttpListenSocket : public RDTcpSocketServer
{
public:
    RDHttpListenSocket() { m_backlog = 128; }
};

// Compares without an early exit, so the time taken says nothing about where
// a guessed credential first differs.
bool constantTimeEquals(const std::string &a, const std::string &b)
{
    unsigned char diff = a.size() == b.size() ? 0 : 1;
    const size_t n = std::max(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char ca = i < a.size() ? static_cast<unsigned char>(a[i]) : 0;
        const unsigned char cb = i < b.size() ? static_cast<unsigned char>(b[i]) : 0;
        diff |= static_cast<unsigned char>(ca ^ cb);
    }
    return diff == 0;
}

std::string trimmed(const std::string &s)
{
    const size_t b = s.find_first_not_of(" \r\n");
    if (b == std::string::npos)
        return std::string();
    const size_t e = s.find_last_not_of(" \r\n");
    return s.substr(b, e - b + 1);
}

} // namespace

RDHttpStreamServer::~RDHttpStreamServer()
{
    stop();
}

void RDHttpStreamServer::setConfigure(const RDHttpServerConfigure &config)
{
    m_config = config;
}

RDTcpSocketServer *RDHttpStreamServer::createServerSocket()
{
    return new RDHttpListenSocket;
}

int RDHttpStreamServer::start()
{
    if (m_acceptThread)
        stop();
    const RDSocketAddress address(m_config.host.empty() ? std::string("0.0.0.0") : m_config.host,
                                m_config.port > 0 ? m_config.port : RDHttpServerConfigure::kDefaultPort);
    m_serverSocket = createServerSocket();
    if (m_serverSocket->listen(address) < 0) {
        RDLogDetail(__FILE__, __FUNCTION__, __LINE__, 5, "cannot listen on %s:%d\n", address.host.c_str(), address.port);
        delete m_serverSocket;
        m_serverSocket = nullptr;
        if (m_observer)
            m_observer->onStartFailed(this, address);
        return -1;
    }
    m_listenAddress = m_serverSocket->address();
    m_acceptThread = new RDHttpStreamServerThread(this);
    m_acceptThread->setName("RDHttpServer");
    m_acceptThread->start();
    if (m_observer)
        m_observer->onStarted(this, address);
    return 0;
}

void RDHttpStreamServer::stop()
{
    if (!m_acceptThread)
        return;
    m_acceptThread->stop();
    m_acceptThread->wait();
    delete m_acceptThread;
    m_acceptThread = nullptr;
    delete m_serverSocket;
    m_serverSocket = nullptr;
}

bool RDHttpStreamServer::isListening() const
{
    return m_acceptThread && m_serverSocket && m_serverSocket->isValid();
}

RDSocketAddress RDHttpStreamServer::listenAddress() const
{
    return m_listenAddress;
}

int RDHttpStreamServer::connectionCount() const
{
    std::lock_guard<std::mutex> lock(m_clientsMutex);
    int n = 0;
    for (auto *c : m_clients)
        n += c->isRunning() ? 1 : 0;
    return n;
}

long long RDHttpStreamServer::pendingStreamBytes() const
{
    std::lock_guard<std::mutex> lock(m_clientsMutex);
    long long n = 0;
    for (auto *c : m_clients)
        n += c->pendingStreamBytes();
    return n;
}

void RDHttpStreamServer::acceptLoop(RDHttpStreamServerThread *thread)
{
    const int cap = m_config.maxConnections >= 1 ? m_config.maxConnections : RDHttpServerConfigure::kDefaultMaxConnections;
    while (!thread->isStopped()) {
        // Blocks until a peer connects; stop() closes the listening socket,
        // which wakes this call with no socket.
        RDTcpSocket *socket = m_serverSocket->accept();
        if (!socket) {
            if (!thread->isStopped())
                RDThread::msleep(10); // out of descriptors, say: do not spin
            continue;
        }
        if (thread->isStopped()) {
            delete socket;
            continue;
        }
        reapFinished();
        auto *connection = new RDHttpConnection(socket, m_config);
        if (!makeRoom(thread, cap)) {
            // Every slot is busy with a request or a stream: say so rather than
            // leaving the client waiting in the backlog.
            const std::string busy = "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
            connection->sendText(busy);
            connection->close();
            delete connection;
            continue;
        }
        auto *client = new RDHttpStreamServerClientThread(this, connection);
        {
            std::lock_guard<std::mutex> lock(m_clientsMutex);
            m_clients.push_back(client);
        }
        client->start();
    }
    stopAllClients();
    m_serverSocket->close();
}

void RDHttpStreamServer::reapFinished()
{
    std::vector<RDHttpStreamServerClientThread *> done;
    {
        std::lock_guard<std::mutex> lock(m_clientsMutex);
        auto it = std::partition(m_clients.begin(), m_clients.end(),
                                 [](RDHttpStreamServerClientThread *c) { return c->isRunning(); });
        done.assign(it, m_clients.end());
        m_clients.erase(it, m_clients.end());
    }
    // Joined outside the lock: a thread on its way out may still need it.
    for (auto *c : done) {
        c->stop();
        c->wait();
        delete c;
    }
}

bool RDHttpStreamServer::makeRoom(RDHttpStreamServerThread *thread, int cap)
{
    const int64_t giveUp = RDHttpConnection::nowMs() + 2000;
    bool evicted = false;
    while (!thread->isStopped()) {
        {
            std::lock_guard<std::mutex> lock(m_clientsMutex);
            if (static_cast<int>(m_clients.size()) < cap)
                return true;
            if (!evicted) {
                // At the cap, the connection that has waited longest without a
                // request in progress gives way (keep-alive idlers first, then
                // clients that trickle a head); busy requests and streams stay.
                RDHttpStreamServerClientThread *victim = nullptr;
                for (auto phase : {RDHttpConnection::Phase::Idle, RDHttpConnection::Phase::Reading}) {
                    for (auto *c : m_clients) {
                        if (!c->isRunning() || c->connection()->phase() != phase)
                            continue;
                        if (!victim || c->connection()->phaseSinceMs() < victim->connection()->phaseSinceMs())
                            victim = c;
                    }
                    if (victim)
                        break;
                }
                if (victim) {
                    victim->connection()->shutdown();
                    evicted = true;
                }
            }
        }
        reapFinished();
        {
            std::lock_guard<std::mutex> lock(m_clientsMutex);
            if (static_cast<int>(m_clients.size()) < cap)
                return true;
        }
        if (RDHttpConnection::nowMs() > giveUp)
            return false;
        RDThread::msleep(1);
    }
    return false;
}

void RDHttpStreamServer::stopAllClients()
{
    std::vector<RDHttpStreamServerClientThread *> all;
    {
        std::lock_guard<std::mutex> lock(m_clientsMutex);
        all.swap(m_clients);
    }
    for (auto *c : all)
        c->stop();
    for (auto *c : all) {
        c->wait();
        delete c;
    }
}

bool RDHttpStreamServer::addStream(const RDHttpAudioStream &stream)
{
    std::lock_guard<std::mutex> lock(m_streamsMutex);
    m_streams.push_back(stream);
    return true;
}

void RDHttpStreamServer::removeStream(const RDHttpAudioStream &stream)
{
    {
        std::lock_guard<std::mutex> lock(m_streamsMutex);
        m_streams.erase(std::remove_if(m_streams.begin(), m_streams.end(),
                                       [&](const RDHttpAudioStream &s) { return s.isSameStream(stream); }),
                        m_streams.end());
    }
    // Only the listeners of this path end; other zones' listeners keep playing.
    std::lock_guard<std::mutex> lock(m_clientsMutex);
    for (auto *c : m_clients)
        c->closeStream(stream);
}

void RDHttpStreamServer::writeStream(const RDHttpAudioStream &stream, const char *data, int length)
{
    if (!data || length < 1)
        return;
    std::lock_guard<std::mutex> lock(m_clientsMutex);
    for (auto *c : m_clients)
        c->appendStream(stream, data, length, m_config.streamBufferLimit);
}

bool RDHttpStreamServer::findStream(const std::string &path, RDHttpAudioStream &out)
{
    std::lock_guard<std::mutex> lock(m_streamsMutex);
    for (const auto &s : m_streams) {
        if (!s.path.empty() && s.path == path) {
            out = s;
            return true;
        }
    }
    return false;
}

bool RDHttpStreamServer::authenticate(RDHttpConnection *connection, RDHttpBaseRequest *request)
{
    if (m_config.user.empty() && m_config.password.empty())
        return true;
    const std::string authorization = request->header("Authorization");
    const size_t blank = authorization.find(' ');
    if (blank == std::string::npos)
        return false;
    std::string offered = authorization.substr(blank + 1);
    const size_t next = offered.find(' ');
    if (next != std::string::npos)
        offered = offered.substr(0, next);
    offered = trimmed(offered);
    const std::string expected = base64Encode(m_config.user + ":" + m_config.password);
    const bool ok = constantTimeEquals(expected, offered);
    if (!ok) // never log either token: both are credentials
        RDLogDetail(__FILE__, "RDHttpStreamServer::authenticate", __LINE__, 5, "refused a request from %s\n",
                    connection->peerHost().c_str());
    return ok;
}
