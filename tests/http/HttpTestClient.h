#pragma once

// A blocking loopback client for the server tests: raw bytes in and out, so
// the tests can send exactly what a misbehaving peer would.

#include <string>

class HttpTestClient
{
public:
    HttpTestClient() = default;
    ~HttpTestClient();
    HttpTestClient(const HttpTestClient &) = delete;
    HttpTestClient &operator=(const HttpTestClient &) = delete;

    // With `wait` false the connect is only started: the client does not
    // wait for the server's accept queue to take it.
    bool connectTo(int port, bool wait = true);
    bool send(const std::string &bytes);
    // Reads until `count` bytes are buffered, the peer closes or `timeoutMs` passes.
    bool readAtLeast(size_t count, int timeoutMs = 5000);
    // Reads one response (head plus Content-Length body); false on close/time-out.
    bool readResponse(int &status, std::string &head, std::string &body, int timeoutMs = 5000);
    // True when the server closes the connection within `timeoutMs` (all data read and dropped).
    bool waitClosed(int timeoutMs = 5000);
    void close();

    std::string &buffer() { return m_buffer; }
    bool peerClosed() const { return m_closed; }

private:
    int readSome(int timeoutMs);
    int m_fd = -1;
    bool m_closed = false;
    std::string m_buffer;
};

// A port that was free a moment ago on 127.0.0.1.
int freeLoopbackPort();
// "GET `target`" to 127.0.0.1:`port` on a connection of its own; the
// answer's body in `body`. False when connecting, sending or reading the
// whole answer within `timeoutMs` failed.
bool httpGet(int port, const std::string &target, std::string &body, int timeoutMs = 30000);
// Threads of this process, and whether one of them carries `name`.
int processThreadCount();
bool processHasThreadNamed(const std::string &name);
