#pragma once

#include "RDHttpAudioStream.h"
#include "RDHttpRequestParser.h"
#include "RDHttpServerConfigure.h"
#include "RDHttpStreamServerObserver.h"
#include "PlatformWakeEvent.h"

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

class RDHttpConnection;
class RDTcpSocket;
class RDTcpSocketServer;
class RDHttpBaseRequest;
class RDHttpStreamServerThread;
class RDHttpStreamServerClientThread;

// The program's small HTTP/1.1 server: one accept thread, one thread per
// connection (capped), requests handed to the observer, live audio streams
// under "/stream" served by the server itself.
class RDHttpStreamServer
{
public:
    RDHttpStreamServer() = default;
    virtual ~RDHttpStreamServer();

    void setConfigure(const RDHttpServerConfigure &config);
    RDHttpServerConfigure *configure() { return &m_config; }
    void setObserver(RDHttpStreamServerObserver *observer) { m_observer = observer; }

    // Listens at once on the caller's thread, then starts the accept thread.
    // 0 when listening, -1 when it failed (the observer hears the same).
    int start();
    void stop();
    bool isListening() const;
    // The address actually listened on (its port read back from the socket).
    RDSocketAddress listenAddress() const;

    bool addStream(const RDHttpAudioStream &stream);
    void removeStream(const RDHttpAudioStream &stream);
    void writeStream(const RDHttpAudioStream &stream, const char *data, int length);

    bool authenticate(RDHttpConnection *connection, RDHttpBaseRequest *request);

    // Connections now holding a slot (evicted ones on their way out are not
    // counted), and the audio bytes waiting in listener buffers (for
    // supervision and tests).
    int connectionCount() const;
    long long pendingStreamBytes() const;

protected:
    virtual RDTcpSocketServer *createServerSocket();

private:
    friend class RDHttpStreamServerThread;
    friend class RDHttpStreamServerClientThread;

    // A connection accepted but not yet given a thread: its first head is
    // still arriving.
    struct Arrival {
        RDTcpSocket *socket = nullptr;
        std::string bytes;
        int64_t acceptedMs = 0;
    };

    void acceptLoop(RDHttpStreamServerThread *thread);
    // Reads what has come in for an arrival: NeedMore while its head is
    // incomplete; otherwise it is ready to serve, or its socket is gone
    // (null) when the peer left.
    RDHttpRequestParser::Status readArrival(Arrival &arrival, const RDHttpRequestParser::Limits &limits);
    // Gives an arrival whose head is in a connection thread (or a 503).
    void serve(Arrival &arrival, int cap);
    bool findStream(const std::string &path, RDHttpAudioStream &out);
    void reapFinished();
    // Frees a slot when all `cap` are taken, by evicting the longest-waiting
    // connection that has no request in progress; false when every slot is
    // busy for kBusySlotWaitMs. Never waits for an evicted thread.
    bool makeRoom(int cap);
    static bool holdsSlot(const RDHttpStreamServerClientThread *client);
    // Told by a connection thread whose connection has closed.
    void slotFreed();
    static constexpr int kBusySlotWaitMs = 500;
    void stopAllClients();

    RDTcpSocketServer *m_serverSocket = nullptr;
    std::vector<RDHttpAudioStream> m_streams;
    std::vector<RDHttpStreamServerClientThread *> m_clients;
    std::mutex m_streamsMutex;
    mutable std::mutex m_clientsMutex;
    std::condition_variable m_slotFreed; // with m_clientsMutex
    RDHttpStreamServerThread *m_acceptThread = nullptr;
    PlatformWakeEvent m_wake; // ends the accept loop's wait
    RDHttpStreamServerObserver *m_observer = nullptr;
    RDHttpServerConfigure m_config;
    RDSocketAddress m_listenAddress;
};
