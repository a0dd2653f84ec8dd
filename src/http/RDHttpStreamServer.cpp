#include "RDHttpStreamServer.h"

#include "RDHttpBaseRequest.h"
#include "RDHttpConnection.h"
#include "RDHttpRequestParser.h"
#include "RDHttpStreamServerClientThread.h"
#include "RDHttpStreamServerThread.h"

#include "RDLog.h"
#include "RDStringHelper.h"
#include "RDTcpSocket.h"
#include "RDTcpSocketServer.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <deque>
#include <fcntl.h>
#include <poll.h>

namespace {

// A listening socket whose backlog absorbs a burst of connects: with the
// default of 2, clients beyond it wait for SYN retransmits (a second or more)
// before the accept thread even sees them.
class RDHttpListenSocket : public RDTcpSocketServer
{
public:
    RDHttpListenSocket() { m_backlog = 512; }
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
    // The accept loop waits in poll() and then takes every queued
    // connection, so accept must not block.
    const int flags = ::fcntl(m_serverSocket->handle(), F_GETFL, 0);
    ::fcntl(m_serverSocket->handle(), F_SETFL, flags | O_NONBLOCK);
    m_wake.clear();
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
        n += holdsSlot(c) ? 1 : 0;
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
    // Connections whose first head is still arriving wait here, in one poll
    // set, instead of each holding a thread: a host that opens hundreds of
    // connections and sends nothing (or half a head) costs a descriptor
    // each, and the oldest of them makes way when there are too many.
    const size_t receptionCap = static_cast<size_t>(cap) * 4;
    const int64_t receptionTimeoutMs = m_config.headTimeoutMs > 0 ? m_config.headTimeoutMs : 10 * 1000;
    RDHttpRequestParser::Limits limits;
    limits.maxHeadBytes = static_cast<size_t>(m_config.maxHeadBytes > 0 ? m_config.maxHeadBytes : 16 * 1024);
    limits.maxLineBytes = static_cast<size_t>(m_config.maxLineBytes > 0 ? m_config.maxLineBytes : 8 * 1024);

    std::deque<Arrival> arrivals; // oldest first, so also the first to time out
    std::vector<pollfd> fds;
    while (!thread->isStopped()) {
        fds.clear();
        fds.push_back({m_wake.handle(), POLLIN, 0});
        fds.push_back({m_serverSocket->handle(), POLLIN, 0});
        for (const auto &a : arrivals)
            fds.push_back({a.socket->handle(), POLLIN, 0});
        int timeout = -1;
        if (!arrivals.empty()) {
            const int64_t left = arrivals.front().acceptedMs + receptionTimeoutMs - RDHttpConnection::nowMs();
            timeout = static_cast<int>(std::max<int64_t>(0, std::min<int64_t>(left, 60 * 1000)));
        }
        if (::poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
            RDThread::msleep(10); // not expected; do not spin
            continue;
        }
        if (thread->isStopped())
            break;

        // Bytes for the connections in reception: a whole head (or one that
        // can never be valid) earns a connection thread.
        std::vector<Arrival> ready;
        for (size_t i = arrivals.size(); i-- > 0;) {
            if (!fds[i + 2].revents)
                continue;
            Arrival &a = arrivals[i];
            const auto status = readArrival(a, limits);
            if (status == RDHttpRequestParser::Status::NeedMore)
                continue;
            if (a.socket)
                ready.push_back(std::move(a));
            else
                delete a.socket;
            arrivals.erase(arrivals.begin() + static_cast<long>(i));
        }
        for (auto it = ready.rbegin(); it != ready.rend(); ++it)
            serve(*it, cap);

        // A head that has not come in time: a begun one hears 408.
        const int64_t now = RDHttpConnection::nowMs();
        while (!arrivals.empty() && arrivals.front().acceptedMs + receptionTimeoutMs <= now) {
            Arrival &a = arrivals.front();
            if (!a.bytes.empty()) {
                static const char timedOut[] = "HTTP/1.1 408 Request Timeout\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
                a.socket->setNonBlocking(); // a peer that takes nothing must not hold this thread
                a.socket->send(timedOut, static_cast<int>(sizeof timedOut - 1));
            }
            delete a.socket;
            arrivals.pop_front();
        }

        if (!(fds[1].revents & POLLIN))
            continue;
        reapFinished();
        // Take every connection the queue holds; the listening socket does
        // not block, so the loop ends when the queue is empty.
        while (RDTcpSocket *socket = m_serverSocket->accept()) {
            if (arrivals.size() >= receptionCap) {
                // The oldest makes way, unless its head has come in
                // meanwhile (a client that connected just before a burst).
                Arrival &oldest = arrivals.front();
                if (readArrival(oldest, limits) != RDHttpRequestParser::Status::NeedMore && oldest.socket)
                    serve(oldest, cap);
                delete oldest.socket;
                arrivals.pop_front();
            }
            Arrival a;
            a.socket = socket;
            a.acceptedMs = RDHttpConnection::nowMs();
            arrivals.push_back(std::move(a));
        }
        const int error = m_serverSocket->lastError();
        if (error != EAGAIN && error != EWOULDBLOCK && error != EINTR && error != ECONNABORTED)
            RDThread::msleep(10); // out of descriptors, say: do not spin
    }
    for (auto &a : arrivals)
        delete a.socket;
    stopAllClients();
    m_serverSocket->close();
}

RDHttpRequestParser::Status RDHttpStreamServer::readArrival(Arrival &arrival, const RDHttpRequestParser::Limits &limits)
{
    // Only what has arrived: the socket blocks, so look before reading.
    if (arrival.socket->waitReadable(0, 0) > 0) {
        char buf[4096];
        const int n = arrival.socket->recv(buf, sizeof buf);
        if (n <= 0) { // closed by the peer, or broken
            delete arrival.socket;
            arrival.socket = nullptr;
            return RDHttpRequestParser::Status::Bad;
        }
        arrival.bytes.append(buf, static_cast<size_t>(n));
    } else if (!arrival.socket->isValid()) {
        delete arrival.socket;
        arrival.socket = nullptr;
        return RDHttpRequestParser::Status::Bad;
    }
    RDHttpBaseRequest probe;
    return RDHttpRequestParser::parseHead(arrival.bytes.data(), arrival.bytes.size(), probe, limits).status;
}

void RDHttpStreamServer::serve(Arrival &arrival, int cap)
{
    auto *connection = new RDHttpConnection(arrival.socket, m_config);
    connection->preload(arrival.bytes);
    arrival.socket = nullptr;
    if (!makeRoom(cap)) {
        // Every slot is busy with a request or a stream: say so at once
        // rather than leaving the client (and those behind it) waiting.
        const std::string busy = "HTTP/1.1 503 Service Unavailable\r\nConnection: close\r\nContent-Length: 0\r\n\r\n";
        connection->sendText(busy);
        connection->close();
        delete connection;
        return;
    }
    auto *client = new RDHttpStreamServerClientThread(this, connection);
    {
        std::lock_guard<std::mutex> lock(m_clientsMutex);
        m_clients.push_back(client);
    }
    client->start();
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

bool RDHttpStreamServer::holdsSlot(const RDHttpStreamServerClientThread *client)
{
    // A thread whose connection was evicted or has closed is on its way out
    // and is reaped later: its slot is free at once.
    return client->isRunning() && client->connection()->isValid();
}

bool RDHttpStreamServer::makeRoom(int cap)
{
    std::unique_lock<std::mutex> lock(m_clientsMutex);
    auto inUse = [this] {
        int n = 0;
        for (auto *c : m_clients)
            n += holdsSlot(c) ? 1 : 0;
        return n;
    };
    if (inUse() < cap)
        return true;
    // At the cap, the connection that has waited longest without a request
    // in progress gives way (keep-alive idlers first, then clients whose
    // body is still arriving); busy requests and streams stay. Nothing here
    // waits for the evicted thread: the shutdown wakes it and it ends by
    // itself.
    std::vector<RDHttpStreamServerClientThread *> candidates;
    for (auto phase : {RDHttpConnection::Phase::Idle, RDHttpConnection::Phase::Reading}) {
        candidates.clear();
        for (auto *c : m_clients) {
            if (holdsSlot(c) && c->connection()->phase() == phase)
                candidates.push_back(c);
        }
        std::sort(candidates.begin(), candidates.end(),
                  [](RDHttpStreamServerClientThread *a, RDHttpStreamServerClientThread *b) {
                      return a->connection()->phaseSinceMs() < b->connection()->phaseSinceMs();
                  });
        // A candidate may have just taken a whole request: then the next one.
        for (auto *c : candidates) {
            if (c->connection()->evictIfWaiting())
                return true;
        }
    }
    // Every slot is busy with a request or a stream. A request that is
    // finishing (its answer already sent) frees its slot in a moment.
    return m_slotFreed.wait_for(lock, std::chrono::milliseconds(kBusySlotWaitMs), [&] { return inUse() < cap; });
}

void RDHttpStreamServer::slotFreed()
{
    { std::lock_guard<std::mutex> lock(m_clientsMutex); }
    m_slotFreed.notify_all();
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
