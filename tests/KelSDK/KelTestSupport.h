#pragma once
// Helpers shared by the session-server tests: a recording server observer,
// the raw loopback WebSocket client (tests/support), and free-port probing.

#include "KelClient.h"
#include "KelServer.h"
#include "KelServerObserver.h"
#include "WSRawClient.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace KelTest {

// A loopback TCP port that was free a moment ago.
int freeTcpPort();
int freeUdpPort();

class RecordingObserver : public KelServerObserver
{
public:
    void onSessionConnected(KelServer *server, std::shared_ptr<KelClient> session) override;
    void onSessionClosed(KelServer *server, std::shared_ptr<KelClient> session) override;
    void onSessionData(KelServer *server, std::shared_ptr<KelClient> session, const KelPacket &packet) override;

    int connected() const;
    int closed() const;
    std::vector<std::string> messages() const;
    std::vector<std::shared_ptr<KelClient>> sessions() const;

    // Runs inside onSessionData, on the session's read thread.
    std::function<void(KelServer *, std::shared_ptr<KelClient>, const std::string &)> onData;

private:
    mutable std::mutex m_mutex;
    int m_connected = 0;
    int m_closed = 0;
    std::vector<std::string> m_messages;
    std::vector<std::shared_ptr<KelClient>> m_sessions;
};

using RawClient = PaTest::WSRawClient;

// A masked client frame (RFC 6455 section 5.3).
std::string clientFrame(int opcode, const std::string &payload, bool fin = true);

// Parses the first frame of `bytes` (server frames may be masked); false
// while incomplete.
bool firstFrame(const std::string &bytes, int &opcode, std::string &payload, size_t *consumed = nullptr);

} // namespace KelTest
