#include "KelTestSupport.h"
#include "TestSupport.h"

#include "WSFrame.h"
#include "WSFrameParser.h"

#include <QTcpServer>
#include <QUdpSocket>

#include <arpa/inet.h>
#include <cerrno>
#include <chrono>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace KelTest {

int freeTcpPort()
{
    return PaTest::freeTcpPort();
}

int freeUdpPort()
{
    return PaTest::freeUdpPort();
}

void RecordingObserver::onSessionConnected(KelServer *, std::shared_ptr<KelClient> session)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_connected;
    m_sessions.push_back(session);
}

void RecordingObserver::onSessionClosed(KelServer *, std::shared_ptr<KelClient> session)
{
    std::lock_guard<std::mutex> lock(m_mutex);
    ++m_closed;
    for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it) {
        if (*it == session) {
            m_sessions.erase(it);
            break;
        }
    }
}

void RecordingObserver::onSessionData(KelServer *server, std::shared_ptr<KelClient> session, const KelPacket &packet)
{
    const std::string text = packet.toString();
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_messages.push_back(text);
    }
    if (onData)
        onData(server, session, text);
}

int RecordingObserver::connected() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connected;
}

int RecordingObserver::closed() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_closed;
}

std::vector<std::string> RecordingObserver::messages() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_messages;
}

std::vector<std::shared_ptr<KelClient>> RecordingObserver::sessions() const
{
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_sessions;
}

RawClient::RawClient(int port, int receiveBuffer, bool wait)
{
    m_fd = ::socket(AF_INET, SOCK_STREAM | (wait ? 0 : SOCK_NONBLOCK), 0);
    if (receiveBuffer > 0)
        setsockopt(m_fd, SOL_SOCKET, SO_RCVBUF, &receiveBuffer, sizeof receiveBuffer);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0 && !(!wait && errno == EINPROGRESS)) {
        ::close(m_fd);
        m_fd = -1;
    }
}

RawClient::~RawClient()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool RawClient::sendAll(const std::string &bytes)
{
    size_t sent = 0;
    while (m_fd >= 0 && sent < bytes.size()) {
        const ssize_t n = ::send(m_fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (n <= 0)
            return false;
        sent += size_t(n);
    }
    return sent == bytes.size();
}

bool RawClient::readUntil(const std::function<bool(const std::string &)> &done, int timeoutMs)
{
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
    while (!done(buffer)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0 || m_fd < 0)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            continue;
        char chunk[65536];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return done(buffer);
        buffer.append(chunk, size_t(n));
    }
    return true;
}

bool RawClient::waitClosed(int timeoutMs)
{
    using clock = std::chrono::steady_clock;
    const auto deadline = clock::now() + std::chrono::milliseconds(timeoutMs);
    while (m_fd >= 0) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{m_fd, POLLIN, 0};
        if (::poll(&p, 1, int(left)) <= 0)
            continue;
        char chunk[65536];
        const ssize_t n = ::recv(m_fd, chunk, sizeof chunk, 0);
        if (n <= 0)
            return true;
        buffer.append(chunk, size_t(n));
    }
    return true;
}

bool RawClient::handshake()
{
    if (!sendAll("GET / HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
                 "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n"))
        return false;
    const bool ok = readUntil([](const std::string &b) { return b.find("\r\n\r\n") != std::string::npos; });
    if (!ok || buffer.compare(0, 12, "HTTP/1.1 101") != 0)
        return false;
    buffer.erase(0, buffer.find("\r\n\r\n") + 4);
    return true;
}

std::string clientFrame(int opcode, const std::string &payload, bool fin)
{
    std::string f = WSFrame::encode(opcode, payload, true);
    if (!fin)
        f[0] = char(uint8_t(f[0]) & 0x7F);
    return f;
}

bool firstFrame(const std::string &bytes, int &opcode, std::string &payload, size_t *consumed)
{
    WSFrameParser parser(64 * 1024 * 1024, false);
    WSFrameParser::Frame f;
    const auto r = parser.parse(reinterpret_cast<const uint8_t *>(bytes.data()), bytes.size(), f);
    if (r.status != WSFrameParser::Status::Ok)
        return false;
    opcode = f.opcode;
    payload.assign(f.payload.begin(), f.payload.end());
    if (consumed)
        *consumed = r.consumed;
    return true;
}

} // namespace KelTest
