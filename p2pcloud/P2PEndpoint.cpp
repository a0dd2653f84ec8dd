#include "P2PEndpoint.h"

#include "P2PErrors.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace {

std::mutex g_faultMutex;
P2PEndpoint::Faults g_faults;
std::mt19937 g_faultRandom(1);
std::atomic<bool> g_faultsOn{false};
std::atomic<double> g_peerTimeout{10.0};

double now()
{
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

std::chrono::steady_clock::time_point deadlineAfter(int ms)
{
    return std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, ms));
}

uint64_t replyKey(uint8_t type, uint32_t nonce)
{
    return (uint64_t(type) << 32) | nonce;
}

} // namespace

void P2PEndpoint::setFaultsForTesting(const Faults &faults)
{
    std::lock_guard<std::mutex> lock(g_faultMutex);
    g_faults = faults;
    g_faultRandom.seed(faults.seed);
    g_faultsOn = faults.loss > 0 || faults.reorder > 0;
}

void P2PEndpoint::setPeerTimeout(double seconds)
{
    g_peerTimeout = seconds > 0 ? seconds : 10.0;
}

double P2PEndpoint::peerTimeout()
{
    return g_peerTimeout.load();
}

P2PEndpoint::P2PEndpoint() : m_random(std::random_device{}()) {}

P2PEndpoint::~P2PEndpoint()
{
    close();
}

bool P2PEndpoint::open(uint32_t address, uint16_t port, int maxSessions)
{
    close();
    const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    a.sin_addr.s_addr = htonl(address);
    socklen_t len = sizeof a;
    if (::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 ||
        ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len) != 0) {
        ::close(fd);
        return false;
    }
    const int wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
    if (wake < 0) {
        ::close(fd);
        return false;
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_fd = fd;
        m_wakeFd = wake;
        m_port = ntohs(a.sin_port);
        m_slots.assign(size_t(std::max(1, maxSessions)), nullptr);
        m_byConnection.clear();
        m_acceptQueue.clear();
        m_refused = false;
        m_accepting = false;
        m_refreshInterval = 0;
        m_held.clear();
    }
    m_running = true;
    m_thread = std::thread([this] { run(); });
    return true;
}

uint16_t P2PEndpoint::localPort() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_port;
}

void P2PEndpoint::close()
{
    if (!m_thread.joinable())
        return;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        P2PPacket bye;
        bye.type = P2PPacket::Close;
        for (auto &s : m_slots) {
            if (s && s->state == P2PSession::State::Open) {
                bye.connection = s->connection;
                sendLocked(bye, s->peer);
            }
            if (s)
                s->close(IOTC_ERR_INVALID_SESSION);
        }
        m_slots.clear();
        m_byConnection.clear();
        m_acceptQueue.clear();
        m_accepting = false;
    }
    m_running = false;
    wakeThread();
    m_thread.join();
    std::lock_guard<std::mutex> lock(m_mutex);
    ::close(m_fd);
    ::close(m_wakeFd);
    m_fd = -1;
    m_wakeFd = -1;
    m_port = 0;
    m_cond.notify_all();
}

void P2PEndpoint::wakeThread()
{
    const uint64_t one = 1;
    if (m_wakeFd >= 0)
        (void)!::write(m_wakeFd, &one, sizeof one);
}

void P2PEndpoint::sendLocked(const P2PPacket &p, const sockaddr_in &to)
{
    if (m_fd < 0)
        return;
    const std::vector<uint8_t> bytes = p.encode();
    if (bytes.empty())
        return;
    if (g_faultsOn) {
        double roll;
        double loss, reorder;
        {
            std::lock_guard<std::mutex> lock(g_faultMutex);
            roll = std::uniform_real_distribution<double>(0, 1)(g_faultRandom);
            loss = g_faults.loss;
            reorder = g_faults.reorder;
        }
        if (roll < loss)
            return;
        if (roll < loss + reorder && m_held.empty()) {
            m_held = bytes;
            m_heldTo = to;
            m_heldAt = now();
            return;
        }
    }
    ::sendto(m_fd, bytes.data(), bytes.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&to), sizeof to);
    if (!m_held.empty()) {
        ::sendto(m_fd, m_held.data(), m_held.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&m_heldTo),
                 sizeof m_heldTo);
        m_held.clear();
    }
}

void P2PEndpoint::transmitLocked(P2PSession &s, double t)
{
    std::vector<P2PPacket> due;
    s.collectDue(t, due);
    for (const P2PPacket &p : due)
        sendLocked(p, s.peer);
    if (!due.empty())
        s.lastSent = t;
}

bool P2PEndpoint::request(const sockaddr_in &to, P2PPacket req, uint8_t replyType, P2PPacket &reply, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_fd < 0)
        return false;
    req.connection = m_random() | 1u;
    const uint64_t key = replyKey(replyType, req.connection);
    m_replies.erase(key);
    m_replySources[key] = to;
    const auto deadline = deadlineAfter(timeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        // The entry marks the request as awaited; the I/O thread fills it.
        m_replies[key] = P2PPacket();
        sendLocked(req, to);
        const auto step = std::min(deadline, deadlineAfter(200));
        m_cond.wait_until(lock, step, [&] {
            const auto it = m_replies.find(key);
            return m_fd < 0 || (it != m_replies.end() && it->second.type == replyType);
        });
        const auto it = m_replies.find(key);
        if (it != m_replies.end() && it->second.type == replyType) {
            reply = it->second;
            m_replies.erase(it);
            m_replySources.erase(key);
            return true;
        }
        if (m_fd < 0)
            break;
    }
    m_replies.erase(key);
    m_replySources.erase(key);
    return false;
}

void P2PEndpoint::setRefresh(const sockaddr_in &to, const P2PPacket &packet, double interval)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_refreshTo = to;
    m_refreshPacket = packet;
    m_refreshInterval = interval;
    m_refreshNext = now() + interval;
    wakeThread();
}

void P2PEndpoint::setAccepting(const std::string &uid)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    m_uid = uid;
    m_accepting = true;
}

int P2PEndpoint::accept(int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    m_cond.wait_until(lock, deadlineAfter(timeoutMs),
                      [&] { return m_fd < 0 || !m_acceptQueue.empty() || m_refused; });
    if (!m_acceptQueue.empty()) {
        const int slot = m_acceptQueue.front();
        m_acceptQueue.pop_front();
        return slot;
    }
    if (m_refused) {
        m_refused = false;
        return IOTC_ERR_SESSION_REFUSED;
    }
    return m_fd < 0 ? IOTC_ERR_NOT_INITIALIZED : IOTC_ERR_TIMEOUT;
}

int P2PEndpoint::freeSlotLocked() const
{
    for (size_t i = 0; i < m_slots.size(); ++i) {
        if (!m_slots[i])
            return int(i);
    }
    return -1;
}

std::shared_ptr<P2PSession> P2PEndpoint::sessionLocked(int slot) const
{
    if (slot < 0 || size_t(slot) >= m_slots.size())
        return nullptr;
    return m_slots[size_t(slot)];
}

int P2PEndpoint::connect(const sockaddr_in &device, const std::string &uid, int timeoutMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    if (m_fd < 0)
        return IOTC_ERR_NOT_INITIALIZED;
    const int slot = freeSlotLocked();
    if (slot < 0)
        return IOTC_ERR_DEVICE_BUSY;
    uint32_t id;
    do {
        id = m_random();
    } while (id == 0 || m_byConnection.count(id));
    const double t = now();
    auto s = std::make_shared<P2PSession>(id, device, P2PSession::State::Connecting, t);
    s->uid = uid;
    m_slots[size_t(slot)] = s;
    m_byConnection[id] = slot;
    P2PPacket c;
    c.type = P2PPacket::Connect;
    c.connection = id;
    c.uid = uid;
    sendLocked(c, device);
    s->connectSentAt = t;
    wakeThread();
    s->cond.wait_until(lock, deadlineAfter(timeoutMs), [&] { return s->state != P2PSession::State::Connecting; });
    if (s->state == P2PSession::State::Open)
        return slot;
    const int result = s->state == P2PSession::State::Closed ? s->closeReason : IOTC_ERR_TIMEOUT;
    if (m_slots[size_t(slot)] == s) {
        m_slots[size_t(slot)] = nullptr;
        m_byConnection.erase(id);
    }
    return result < 0 ? result : IOTC_ERR_TIMEOUT;
}

bool P2PEndpoint::isValidSlot(int slot) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return sessionLocked(slot) != nullptr;
}

int P2PEndpoint::sessionState(int slot) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto s = sessionLocked(slot);
    if (!s)
        return IOTC_ERR_INVALID_SESSION;
    return s->state == P2PSession::State::Closed ? s->closeReason : 0;
}

int P2PEndpoint::sendMessage(int slot, uint8_t kind, uint8_t channel, uint32_t ioType, const void *data, size_t size)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto s = sessionLocked(slot);
    if (!s)
        return IOTC_ERR_INVALID_SESSION;
    if (s->state != P2PSession::State::Open)
        return s->closeReason ? s->closeReason : IOTC_ERR_INVALID_SESSION;
    if (size > P2PPacket::MaxMessage)
        return AV_ERR_INVALID_ARG;
    if (!s->queueMessage(kind, channel, ioType, static_cast<const uint8_t *>(data), size))
        return AV_ERR_QUEUE_FULL;
    transmitLocked(*s, now());
    wakeThread();
    return 0;
}

int P2PEndpoint::receiveMessage(int slot, uint8_t kind, uint8_t channel, P2PSession::Message &out, int timeoutMs,
                                const std::atomic<bool> *abort, int yieldAfterMs)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto s = sessionLocked(slot);
    if (!s)
        return IOTC_ERR_INVALID_SESSION;
    const auto deadline = deadlineAfter(timeoutMs);
    const auto yieldAt = yieldAfterMs >= 0 ? std::min(deadline, deadlineAfter(yieldAfterMs)) : deadline;
    for (;;) {
        if (s->takeMessage(kind, channel, out))
            return 1;
        if (s->state == P2PSession::State::Closed)
            return s->closeReason ? s->closeReason : IOTC_ERR_INVALID_SESSION;
        if (abort && abort->load())
            return 0;
        // A newer connection is woken into this wait when it is queued.
        const bool others = yieldAfterMs >= 0 && !m_acceptQueue.empty();
        if (others && std::chrono::steady_clock::now() >= yieldAt)
            return 0;
        if (s->cond.wait_until(lock, others ? yieldAt : deadline) == std::cv_status::timeout &&
            std::chrono::steady_clock::now() >= deadline) {
            if (s->takeMessage(kind, channel, out))
                return 1;
            return s->state == P2PSession::State::Closed ? (s->closeReason ? s->closeReason : IOTC_ERR_INVALID_SESSION)
                                                          : 0;
        }
    }
}

int P2PEndpoint::sendAudio(int slot, uint8_t channel, const void *data, size_t size, const uint8_t *info)
{
    if (!data || size == 0 || size > P2PPacket::MaxAudio || !info)
        return AV_ERR_INVALID_ARG;
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto s = sessionLocked(slot);
    if (!s)
        return IOTC_ERR_INVALID_SESSION;
    if (s->state != P2PSession::State::Open)
        return s->closeReason ? s->closeReason : IOTC_ERR_INVALID_SESSION;
    P2PPacket p;
    p.type = P2PPacket::Audio;
    p.connection = s->connection;
    p.channel = channel;
    p.frameNo = ++s->sentFrames;
    std::copy(info, info + P2PPacket::FrameInfoSize, p.frameInfo);
    p.payload.assign(static_cast<const uint8_t *>(data), static_cast<const uint8_t *>(data) + size);
    sendLocked(p, s->peer);
    s->lastSent = now();
    return int(size);
}

int P2PEndpoint::receiveAudio(int slot, uint8_t channel, P2PSession::Frame &out, int timeoutMs,
                              const std::atomic<bool> *abort)
{
    std::unique_lock<std::mutex> lock(m_mutex);
    const auto s = sessionLocked(slot);
    if (!s)
        return IOTC_ERR_INVALID_SESSION;
    const auto deadline = deadlineAfter(timeoutMs);
    for (;;) {
        if (s->takeFrame(channel, out))
            return 1;
        if (s->state == P2PSession::State::Closed)
            return s->closeReason ? s->closeReason : IOTC_ERR_INVALID_SESSION;
        if (abort && abort->load())
            return 0;
        if (s->frameCond.wait_until(lock, deadline) == std::cv_status::timeout)
            return s->takeFrame(channel, out) ? 1 : 0;
    }
}

void P2PEndpoint::closeSession(int slot, bool tellPeer)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    const auto s = sessionLocked(slot);
    if (!s)
        return;
    if (tellPeer && s->state == P2PSession::State::Open) {
        P2PPacket bye;
        bye.type = P2PPacket::Close;
        bye.connection = s->connection;
        sendLocked(bye, s->peer);
    }
    s->close(IOTC_ERR_INVALID_SESSION);
    m_byConnection.erase(s->connection);
    m_slots[size_t(slot)] = nullptr;
    m_acceptQueue.erase(std::remove(m_acceptQueue.begin(), m_acceptQueue.end(), slot), m_acceptQueue.end());
}

void P2PEndpoint::wake(int slot)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const auto s = sessionLocked(slot)) {
        s->cond.notify_all();
        s->frameCond.notify_all();
    }
}

void P2PEndpoint::silence(int slot)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (const auto s = sessionLocked(slot)) {
        m_byConnection.erase(s->connection);
        s->close(IOTC_ERR_INVALID_SESSION);
    }
}

int P2PEndpoint::sessionCount() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(std::count_if(m_slots.begin(), m_slots.end(), [](const auto &s) { return s != nullptr; }));
}

void P2PEndpoint::handleConnect(const P2PPacket &p, const sockaddr_in &from, double t)
{
    P2PPacket reply;
    reply.type = P2PPacket::ConnectReply;
    reply.connection = p.connection;
    if (!m_accepting || p.uid != m_uid || p.connection == 0) {
        reply.result = IOTC_ERR_DEVICE_NOT_FOUND;
        sendLocked(reply, from);
        return;
    }
    const auto known = m_byConnection.find(p.connection);
    if (known != m_byConnection.end()) {
        // A repeated Connect whose answer was lost; another peer reusing
        // the id is turned away.
        const auto &s = m_slots[size_t(known->second)];
        reply.result = s->isFrom(from) ? 0 : IOTC_ERR_DEVICE_BUSY;
        sendLocked(reply, from);
        return;
    }
    const int slot = freeSlotLocked();
    if (slot < 0) {
        reply.result = IOTC_ERR_DEVICE_BUSY;
        sendLocked(reply, from);
        m_refused = true;
        m_cond.notify_all();
        return;
    }
    auto s = std::make_shared<P2PSession>(p.connection, from, P2PSession::State::Open, t);
    m_slots[size_t(slot)] = s;
    m_byConnection[p.connection] = slot;
    m_acceptQueue.push_back(slot);
    reply.result = 0;
    sendLocked(reply, from);
    s->lastSent = t;
    m_cond.notify_all();
    // A start that waits for an app that never starts its side gives way
    // to this one (receiveMessage with a yield time).
    for (const auto &other : m_slots) {
        if (other && other != s)
            other->cond.notify_all();
    }
}

void P2PEndpoint::handleDatagram(const uint8_t *data, size_t size, const sockaddr_in &from, double t)
{
    P2PPacket p;
    if (!P2PPacket::parse(data, size, p))
        return;
    std::lock_guard<std::mutex> lock(m_mutex);
    switch (p.type) {
    case P2PPacket::LoginReply:
    case P2PPacket::LookupReply: {
        // Only the service that was asked answers; a guessed or overheard
        // nonce from elsewhere does not make a reply.
        const uint64_t key = replyKey(p.type, p.connection);
        const auto it = m_replies.find(key);
        const auto source = m_replySources.find(key);
        if (it != m_replies.end() && source != m_replySources.end() &&
            source->second.sin_addr.s_addr == from.sin_addr.s_addr && source->second.sin_port == from.sin_port) {
            it->second = p;
            m_cond.notify_all();
        }
        return;
    }
    case P2PPacket::Connect:
        handleConnect(p, from, t);
        return;
    default:
        break;
    }
    const auto it = m_byConnection.find(p.connection);
    if (it == m_byConnection.end())
        return;
    const std::shared_ptr<P2PSession> s = m_slots[size_t(it->second)];
    // Only the peer the session was made with speaks on it.
    if (!s || !s->isFrom(from) || s->state == P2PSession::State::Closed)
        return;
    s->lastHeard = t;
    switch (p.type) {
    case P2PPacket::ConnectReply:
        if (s->state == P2PSession::State::Connecting) {
            if (p.result == 0) {
                s->state = P2PSession::State::Open;
                s->lastSent = t;
            } else {
                s->close(p.result < 0 ? p.result : IOTC_ERR_DEVICE_BUSY);
            }
            s->cond.notify_all();
        }
        break;
    case P2PPacket::Data:
        if (s->state == P2PSession::State::Open && s->onData(p)) {
            sendLocked(s->makeAck(), s->peer);
            s->lastSent = t;
        }
        break;
    case P2PPacket::Ack:
        if (s->state == P2PSession::State::Open) {
            s->onAck(p.ack, p.ackBits);
            transmitLocked(*s, t);
        }
        break;
    case P2PPacket::Audio:
        if (s->state == P2PSession::State::Open)
            s->onAudio(p);
        break;
    case P2PPacket::Close:
        s->close(IOTC_ERR_REMOTE_CLOSED);
        break;
    default:
        break;
    }
}

int P2PEndpoint::nextTimeoutMs(double t) const
{
    double next = t + 1.0;
    if (m_refreshInterval > 0)
        next = std::min(next, m_refreshNext);
    if (!m_held.empty())
        next = std::min(next, m_heldAt + 0.005);
    for (const auto &s : m_slots) {
        if (!s || s->state == P2PSession::State::Closed)
            continue;
        if (s->state == P2PSession::State::Connecting) {
            next = std::min(next, s->connectSentAt + 0.2);
            continue;
        }
        next = std::min(next, s->nextRetransmit(next));
        next = std::min(next, s->lastSent + PingInterval);
        next = std::min(next, s->lastHeard + g_peerTimeout.load());
    }
    return std::max(0, int(std::ceil((next - t) * 1000.0)));
}

void P2PEndpoint::runTimers(double t)
{
    if (m_refreshInterval > 0 && t >= m_refreshNext) {
        sendLocked(m_refreshPacket, m_refreshTo);
        m_refreshNext = t + m_refreshInterval;
    }
    if (!m_held.empty() && t >= m_heldAt + 0.005) {
        ::sendto(m_fd, m_held.data(), m_held.size(), MSG_NOSIGNAL, reinterpret_cast<const sockaddr *>(&m_heldTo),
                 sizeof m_heldTo);
        m_held.clear();
    }
    const double silence = g_peerTimeout.load();
    for (const auto &s : m_slots) {
        if (!s || s->state == P2PSession::State::Closed)
            continue;
        if (s->state == P2PSession::State::Connecting) {
            if (t - s->connectSentAt >= 0.2) {
                P2PPacket c;
                c.type = P2PPacket::Connect;
                c.connection = s->connection;
                c.uid = s->uid;
                sendLocked(c, s->peer);
                s->connectSentAt = t;
            }
            continue;
        }
        if (t - s->lastHeard >= silence) {
            s->close(IOTC_ERR_REMOTE_TIMEOUT);
            continue;
        }
        transmitLocked(*s, t);
        if (t - s->lastSent >= PingInterval) {
            P2PPacket ping;
            ping.type = P2PPacket::Ping;
            ping.connection = s->connection;
            sendLocked(ping, s->peer);
            s->lastSent = t;
        }
    }
}

void P2PEndpoint::run()
{
    pthread_setname_np(pthread_self(), "P2P I/O");
    std::vector<uint8_t> buffer(P2PPacket::MaxDatagram + 1);
    while (m_running) {
        int timeout;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            timeout = nextTimeoutMs(now());
        }
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
        ::poll(fds, 2, timeout);
        if (fds[1].revents & POLLIN) {
            uint64_t n;
            (void)!::read(m_wakeFd, &n, sizeof n);
        }
        if (!m_running)
            break;
        for (int i = 0; i < 256; ++i) {
            sockaddr_in from{};
            socklen_t len = sizeof from;
            const ssize_t n = ::recvfrom(m_fd, buffer.data(), buffer.size(), 0, reinterpret_cast<sockaddr *>(&from),
                                         &len);
            if (n < 0)
                break;
            // An oversized datagram is cut to the buffer and then refused.
            handleDatagram(buffer.data(), size_t(n), from, now());
        }
        std::lock_guard<std::mutex> lock(m_mutex);
        runTimers(now());
    }
}
