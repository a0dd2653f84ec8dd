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
