#include "P2PDevice.h"

#include "P2PEndpoint.h"
#include "P2PErrors.h"
#include "P2PPacket.h"

#include <arpa/inet.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace {

constexpr unsigned short kDefaultRendezvousPort = 32100;
constexpr int kLoginWaitMs = 2000;
constexpr double kLoginRefreshSeconds = 5.0;

bool parseAddress(const std::string &text, sockaddr_in &out)
{
    const size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    char *end = nullptr;
    const long port = std::strtol(text.c_str() + colon + 1, &end, 10);
    if (!end || *end || port <= 0 || port > 65535)
        return false;
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    if (::inet_pton(AF_INET, text.substr(0, colon).c_str(), &a.sin_addr) != 1)
        return false;
    out = a;
    return true;
}

} // namespace

P2PDevice &P2PDevice::instance()
{
    static P2PDevice device;
    return device;
}

P2PDevice::P2PDevice() = default;

std::shared_ptr<P2PEndpoint> P2PDevice::endpoint() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_endpoint;
}

int P2PDevice::setRendezvous(const char *ipv4, unsigned short port)
{
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    if (!ipv4 || port == 0 || ::inet_pton(AF_INET, ipv4, &a.sin_addr) != 1)
        return IOTC_ERR_INVALID_ARG;
    std::lock_guard<std::mutex> lock(m_mutex);
    m_rendezvous = a;
    m_rendezvousSet = true;
    return IOTC_OK;
}

int P2PDevice::initialize(unsigned short udpPort)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_initialized)
        return IOTC_OK;
    if (!m_rendezvousSet) {
        const char *env = std::getenv("P2P_RENDEZVOUS");
        if (!env || !parseAddress(env, m_rendezvous)) {
            m_rendezvous = sockaddr_in{};
            m_rendezvous.sin_family = AF_INET;
            m_rendezvous.sin_port = htons(kDefaultRendezvousPort);
            m_rendezvous.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        }
    }
    m_initialized = true;
    m_udpPort = udpPort;
    m_loggedIn = false;
    return IOTC_OK;
}

// The socket opens with the first login, so the session table it gets has
// the size set after initialising.
std::shared_ptr<P2PEndpoint> P2PDevice::openEndpoint(sockaddr_in &rendezvous)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!m_initialized)
        return nullptr;
    rendezvous = m_rendezvous;
    if (m_endpoint)
        return m_endpoint;
    // A rendezvous service on loopback means a test or a single machine:
    // the device then stays off every other interface.
    const bool loopback = (ntohl(m_rendezvous.sin_addr.s_addr) >> 24) == 127;
    auto e = std::make_shared<P2PEndpoint>();
    if (!e->open(loopback ? INADDR_LOOPBACK : INADDR_ANY, m_udpPort, int(m_maxSessions)))
        return nullptr;
    m_endpoint = e;
    return e;
}

int P2PDevice::deinitialize()
{
    std::shared_ptr<P2PEndpoint> e;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        e.swap(m_endpoint);
        m_loggedIn = false;
        m_initialized = false;
    }
    if (e)
        e->close();
    return IOTC_OK;
}

int P2PDevice::setMaxSessions(unsigned int count)
{
    if (count < 1 || count > 128)
        return IOTC_ERR_INVALID_ARG;
    std::lock_guard<std::mutex> lock(m_mutex);
    // Takes effect with the next socket (opened by the login); a running
    // one keeps its table.
    m_maxSessions = count;
    return IOTC_OK;
}

int P2PDevice::login(const char *uid, const unsigned char *info)
{
    if (!uid || !info)
        return IOTC_ERR_INVALID_ARG;
    const uint32_t size = uint32_t(info[0]) | uint32_t(info[1]) << 8 | uint32_t(info[2]) << 16 | uint32_t(info[3]) << 24;
    if (size != P2PPacket::LoginInfoSize || std::strlen(uid) > P2PPacket::MaxUidLength)
        return IOTC_ERR_INVALID_ARG;
    bool initialized;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        initialized = m_initialized;
    }
    if (!initialized)
        return IOTC_ERR_NOT_INITIALIZED;
    sockaddr_in rendezvous{};
    const std::shared_ptr<P2PEndpoint> e = openEndpoint(rendezvous);
    if (!e)
        return IOTC_ERR_SOCKET;
    P2PPacket request;
    request.type = P2PPacket::Login;
    request.uid = uid;
    request.info.assign(info, info + P2PPacket::LoginInfoSize);
    P2PPacket reply;
    if (!e->request(rendezvous, request, P2PPacket::LoginReply, reply, kLoginWaitMs))
        return IOTC_ERR_RENDEZVOUS_UNREACHABLE;
    if (reply.result != 0)
        return reply.result < 0 ? reply.result : IOTC_ERR_LOGIN_REFUSED;
    e->setAccepting(uid);
    // The service forgets a device it has not heard from for a while.
    e->setRefresh(rendezvous, request, kLoginRefreshSeconds);
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_endpoint == e)
        m_loggedIn = true;
    return IOTC_OK;
}

int P2PDevice::listen(unsigned int timeoutMs)
{
    std::shared_ptr<P2PEndpoint> e;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (!m_initialized)
            return IOTC_ERR_NOT_INITIALIZED;
        if (!m_endpoint || !m_loggedIn)
            return IOTC_ERR_NOT_LOGGED_IN;
        e = m_endpoint;
    }
    return e->accept(int(std::min(timeoutMs, 60000u)));
}

int P2PDevice::freeChannel(int session)
{
    const auto e = endpoint();
    if (!e || !e->isValidSlot(session))
        return IOTC_ERR_INVALID_SESSION;
    std::lock_guard<std::mutex> lock(m_mutex);
    for (int channel = 0; channel < 32; ++channel) {
        const bool taken = std::any_of(m_servers.begin(), m_servers.end(), [&](const AvServer &s) {
            return s.used && s.session == session && s.channel == channel;
        });
        if (!taken)
            return channel;
    }
    return AV_ERR_TABLE_FULL;
}

int P2PDevice::closeSession(int session)
{
    const auto e = endpoint();
    if (!e || !e->isValidSlot(session))
        return IOTC_ERR_INVALID_SESSION;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::vector<int> unused;
        stopServersLocked([&](const AvServer &s) { return s.session == session; }, unused);
    }
    // Closing the session wakes everything that waits on it.
    e->closeSession(session, true);
    return IOTC_OK;
}

template <class Which> void P2PDevice::stopServersLocked(Which which, std::vector<int> &sessions)
{
    for (AvServer &s : m_servers) {
        if (!s.used || !which(s))
            continue;
        s.stopped->store(true);
        sessions.push_back(s.session);
        s = AvServer();
    }
}

void P2PDevice::wakeSessions(const std::vector<int> &sessions)
{
    if (sessions.empty())
        return;
    if (const auto e = endpoint()) {
        for (int session : sessions)
            e->wake(session);
    }
}

int P2PDevice::avInitialize(int channels)
{
    std::vector<int> sessions;
    int n;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        stopServersLocked([](const AvServer &) { return true; }, sessions);
        n = std::max(1, std::min(channels, 1024));
        m_servers.assign(size_t(n), AvServer());
        m_nextServer = 0;
    }
    wakeSessions(sessions);
    return n;
}

int P2PDevice::avDeinitialize()
{
    std::vector<int> sessions;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (PendingStart &p : m_starts) {
            p.abort->store(true);
            sessions.push_back(p.session);
        }
        stopServersLocked([](const AvServer &) { return true; }, sessions);
        m_servers.clear();
    }
    // A start or a receive still waiting ends now, not at its time-out.
    wakeSessions(sessions);
    return 0;
}

int P2PDevice::avError(int sessionResult)
{
    switch (sessionResult) {
    case IOTC_ERR_REMOTE_CLOSED:
        return AV_ERR_REMOTE_CLOSED;
    case IOTC_ERR_REMOTE_TIMEOUT:
        return AV_ERR_REMOTE_TIMEOUT;
    default:
        return AV_ERR_INVALID_INDEX;
    }
}

int P2PDevice::startServer(const AVServStartInConfig *in, AVServStartOutConfig *out)
{
    if (!in || !out || in->size != sizeof(AVServStartInConfig) || out->size != sizeof(AVServStartOutConfig))
        return AV_ERR_INVALID_ARG;
    const auto e = endpoint();
    if (!e)
        return IOTC_ERR_NOT_INITIALIZED;
    const int session = in->session;
    const int channel = in->channel;
    if (!e->isValidSlot(session))
        return IOTC_ERR_INVALID_SESSION;
    auto abort = std::make_shared<std::atomic<bool>>(false);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_servers.empty())
            return AV_ERR_NOT_INITIALIZED;
        m_starts.push_back({session, channel, abort});
    }
    const int seconds = in->timeoutSeconds ? int(std::min(in->timeoutSeconds, 600u)) : 10;
    P2PSession::Message request;
    const int r = e->receiveMessage(session, P2PPacket::AvStart, uint8_t(channel), request, seconds * 1000,
                                    abort.get(), StartYieldMs);
    int result;
    if (r == 1) {
        // The start request is "account\0password".
        const auto zero = std::find(request.bytes.begin(), request.bytes.end(), uint8_t(0));
        const std::string account(request.bytes.begin(), zero);
        const std::string password(zero == request.bytes.end() ? zero : zero + 1, request.bytes.end());
        result = 0;
        if (in->passwordCheck && in->passwordCheck(account.c_str(), password.c_str()) != 0)
            result = AV_ERR_AUTH_REFUSED;
        std::lock_guard<std::mutex> lock(m_mutex);
        if (result == 0 && !abort->load()) {
            result = AV_ERR_TABLE_FULL;
            for (size_t k = 0; k < m_servers.size(); ++k) {
                const size_t i = (m_nextServer + k) % m_servers.size();
                if (!m_servers[i].used) {
                    m_servers[i] = AvServer{true, session, channel, std::make_shared<std::atomic<bool>>(false)};
                    m_nextServer = i + 1;
                    result = int(i);
                    break;
                }
            }
        } else if (result == 0) {
            result = AV_ERR_START_ABORTED;
        }
    } else if (r == 0) {
        result = abort->load() ? AV_ERR_START_ABORTED : AV_ERR_START_TIMEOUT;
    } else {
        result = avError(r);
    }
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_starts.erase(std::remove_if(m_starts.begin(), m_starts.end(),
                                      [&](const PendingStart &p) { return p.abort == abort; }),
                       m_starts.end());
    }
    if (r == 1) {
        const int32_t answer = result >= 0 ? 0 : result;
        uint8_t bytes[4] = {uint8_t(uint32_t(answer) >> 24), uint8_t(uint32_t(answer) >> 16),
                            uint8_t(uint32_t(answer) >> 8), uint8_t(answer)};
        e->sendMessage(session, P2PPacket::AvStartReply, uint8_t(channel), 0, bytes, sizeof bytes);
    }
    if (result >= 0) {
        out->resend = 1;
        out->twoWayAudio = 1;
        out->clientChannel = uint32_t(channel);
    }
    return result;
}

void P2PDevice::exitStart(int session, int channel)
{
    std::shared_ptr<P2PEndpoint> e;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (PendingStart &p : m_starts) {
            if (p.session == session && p.channel == channel)
                p.abort->store(true);
        }
        e = m_endpoint;
    }
    if (e)
        e->wake(session);
}

void P2PDevice::stopServer(int avIndex)
{
    std::vector<int> sessions;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (avIndex < 0 || size_t(avIndex) >= m_servers.size())
            return;
        const AvServer *target = &m_servers[size_t(avIndex)];
        stopServersLocked([&](const AvServer &s) { return &s == target; }, sessions);
    }
    wakeSessions(sessions);
}

bool P2PDevice::server(int avIndex, int &session, int &channel, std::shared_ptr<std::atomic<bool>> *stopped) const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    if (avIndex < 0 || size_t(avIndex) >= m_servers.size() || !m_servers[size_t(avIndex)].used)
        return false;
    const AvServer &s = m_servers[size_t(avIndex)];
    session = s.session;
    channel = s.channel;
    if (stopped)
        *stopped = s.stopped;
    return true;
}

int P2PDevice::receiveIOCtrl(int avIndex, unsigned int *ioType, char *buffer, int size, unsigned int timeoutMs)
{
    if (!ioType || !buffer || size <= 0)
        return AV_ERR_INVALID_ARG;
    int session, channel;
    std::shared_ptr<std::atomic<bool>> stopped;
    const auto e = endpoint();
    if (!e || !server(avIndex, session, channel, &stopped))
        return AV_ERR_INVALID_INDEX;
    P2PSession::Message m;
    const int r = e->receiveMessage(session, P2PPacket::IoCtrl, uint8_t(channel), m,
                                    int(std::min(timeoutMs, 60000u)), stopped.get());
    if (r == 0)
        return stopped->load() ? AV_ERR_INVALID_INDEX : AV_ERR_TIMEOUT;
    if (r < 0)
        return avError(r);
    if (m.bytes.size() > size_t(size))
        return AV_ERR_BUFFER_TOO_SMALL;
    std::memcpy(buffer, m.bytes.data(), m.bytes.size());
    *ioType = m.ioType;
    return int(m.bytes.size());
}

int P2PDevice::sendIOCtrl(int avIndex, unsigned int ioType, const char *data, int length)
{
    if (length < 0 || (length > 0 && !data))
        return AV_ERR_INVALID_ARG;
    int session, channel;
    const auto e = endpoint();
    if (!e || !server(avIndex, session, channel))
        return AV_ERR_INVALID_INDEX;
    const int r = e->sendMessage(session, P2PPacket::IoCtrl, uint8_t(channel), ioType, data, size_t(length));
    return r == 0 ? 0 : (r <= -20000 ? r : avError(r));
}

int P2PDevice::receiveAudio(int avIndex, char *buffer, int size, char *info, int infoSize, unsigned int *frameNo)
{
    if (!buffer || size <= 0 || !frameNo || (infoSize > 0 && !info))
        return AV_ERR_INVALID_ARG;
    int session, channel;
    std::shared_ptr<std::atomic<bool>> stopped;
    const auto e = endpoint();
    if (!e || !server(avIndex, session, channel, &stopped))
        return AV_ERR_INVALID_INDEX;
    P2PSession::Frame f;
    const int r = e->receiveAudio(session, uint8_t(channel), f, AudioWaitMs, stopped.get());
    if (r == 0)
        return stopped->load() ? AV_ERR_INVALID_INDEX : AV_ERR_TIMEOUT;
    if (r < 0)
        return avError(r);
    if (f.bytes.size() > size_t(size))
        return AV_ERR_BUFFER_TOO_SMALL;
    std::memcpy(buffer, f.bytes.data(), f.bytes.size());
    if (infoSize > 0)
        std::memcpy(info, f.info, std::min(size_t(infoSize), sizeof f.info));
    *frameNo = f.frameNo;
    return int(f.bytes.size());
}

int P2PDevice::sendAudio(int avIndex, const char *data, int length, const void *info, int infoSize)
{
    if (!data || length <= 0 || size_t(length) > P2PPacket::MaxAudio || !info ||
        infoSize != int(P2PPacket::FrameInfoSize))
        return AV_ERR_INVALID_ARG;
    int session, channel;
    const auto e = endpoint();
    if (!e || !server(avIndex, session, channel))
        return AV_ERR_INVALID_INDEX;
    const int r = e->sendAudio(session, uint8_t(channel), data, size_t(length), static_cast<const uint8_t *>(info));
    return r >= 0 ? 0 : (r <= -20000 ? r : avError(r));
}
