#pragma once
// Helpers shared by the session-server tests: a recording server observer,
// a blocking loopback client on plain sockets, and free-port probing.

#include "KelClient.h"
#include "KelServer.h"
#include "KelServerObserver.h"

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

// A blocking client on a plain socket, for byte-exact WebSocket traffic.
class RawClient
{
public:
    // With `wait` false the connect is started and not waited for.
    explicit RawClient(int port, int receiveBuffer = 0, bool wait = true);
    ~RawClient();
    bool isConnected() const { return m_fd >= 0; }
    bool sendAll(const std::string &bytes);
    // Reads until `done(buffer)` is true, the peer closes, or the deadline;
    // returns what `done` last said.
    bool readUntil(const std::function<bool(const std::string &)> &done, int timeoutMs = 5000);
    // True once the peer has closed the connection (reads EOF).
    bool waitClosed(int timeoutMs = 5000);
    // Sends the opening handshake and waits for the 101 answer.
    bool handshake();
    std::string buffer;

private:
    int m_fd = -1;
};

// A masked client frame (RFC 6455 section 5.3).
std::string clientFrame(int opcode, const std::string &payload, bool fin = true);

// Parses the first frame of `bytes` (server frames may be masked); false
// while incomplete.
bool firstFrame(const std::string &bytes, int &opcode, std::string &payload, size_t *consumed = nullptr);

} // namespace KelTest
