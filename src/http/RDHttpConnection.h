#pragma once

#include "RDTcpSocket.h"
#include "RDHttpServerConfigure.h"

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

class RDHttpBaseRequest;
class RDHttpResponse;

// One accepted connection: reads requests off it (framed by
// RDHttpRequestParser, so pipelined requests and bodies never mix) and writes
// answers onto it, with every read and write bounded in size and time.
class RDHttpConnection
{
public:
    enum class Phase { Idle, Reading, Busy, Streaming };

    RDHttpConnection(RDTcpSocket *socket, const RDHttpServerConfigure &config);
    ~RDHttpConnection();

    // Bytes already received for this connection before it was made; the
    // next request starts with them.
    void preload(const std::string &bytes) { m_readBuffer = bytes; }

    void sendResponse(RDHttpResponse *response);
    void sendResponse(RDHttpResponse &response) { sendResponse(&response); }
    int sendAll(const char *data, int length);
    int sendText(const std::string &text);
    int sendOnce(const char *data, int length);
    bool isValid() const;
    void close();
    void shutdown();
    // Shuts the connection down when it waits for a request (idle, or its
    // head or body still arriving) and says whether it did. A request already
    // complete is never cut off: the check and the shutdown hold the lock
    // the thread takes to mark its request as taken.
    bool evictIfWaiting();
    bool isShutdown() const { return m_shutdown.load(); }

    // The next request, or null. After null, errorStatus() is the status to
    // answer before closing (400, 408, 413, 414, 431, 501), or 0 when the peer
    // went away or stayed idle and nothing is to be answered.
    RDHttpBaseRequest *readRequest();
    int errorStatus() const { return m_errorStatus; }

    std::string peerPortText() const;
    std::string peerHost() const;

    Phase phase() const { return static_cast<Phase>(m_phase.load()); }
    int64_t phaseSinceMs() const { return m_phaseSince.load(); }
    void setPhase(Phase phase);

    static int64_t nowMs();

private:
    enum class Receive { Data, Closed, TimedOut };
    Receive receiveSome(int64_t deadlineMs);

    int lockedSend(const char *data, int length);

    RDTcpSocket *m_socket;
    // Every call that may close the handle runs under this lock, so another
    // thread's shutdown never meets a handle number already given to a new
    // socket. The move to Busy takes it too (see evictIfWaiting).
    std::mutex m_socketMutex;
    std::atomic<bool> m_shutdown {false};
    std::string m_readBuffer; // bytes received but not yet part of a request
    RDHttpServerConfigure m_config;
    std::string m_peerHost;
    int m_peerPort = 0;
    int m_errorStatus = 0;
    std::atomic<int> m_phase {static_cast<int>(Phase::Idle)};
    std::atomic<int64_t> m_phaseSince {0};
};
