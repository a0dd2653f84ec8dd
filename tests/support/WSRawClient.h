#pragma once

#include <functional>
#include <string>

namespace PaTest {

// A loopback WebSocket client on a plain blocking socket, for byte-exact
// traffic: tests send exactly what a misbehaving app would, benchmarks time
// the server without a client library in the way. Every wait is bounded.
class WSRawClient
{
public:
    // With `wait` false the connect is started and not waited for. A
    // `receiveBuffer` above 0 sets the socket's receive buffer size.
    explicit WSRawClient(int port, int receiveBuffer = 0, bool wait = true);
    ~WSRawClient();
    WSRawClient(const WSRawClient &) = delete;
    WSRawClient &operator=(const WSRawClient &) = delete;

    bool isConnected() const { return m_fd >= 0; }
    bool sendAll(const std::string &bytes);
    // Reads until `done(buffer)` is true, the peer closes, or the deadline;
    // returns what `done` last said.
    bool readUntil(const std::function<bool(const std::string &)> &done, int timeoutMs = 5000);
    // True once the peer has closed the connection (reads EOF).
    bool waitClosed(int timeoutMs = 5000);
    // Sends the opening handshake and waits for the 101 answer, which it
    // takes out of the buffer.
    bool handshake();
    std::string buffer;

private:
    enum class Outcome { Done, Closed, TimedOut };
    // Reads until `done(buffer)`, the peer closes, or `timeoutMs` passes.
    Outcome pump(const std::function<bool(const std::string &)> &done, int timeoutMs);

    int m_fd = -1;
};

} // namespace PaTest
