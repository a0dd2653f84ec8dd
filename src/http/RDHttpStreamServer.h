#pragma once

#include "RDHttpAudioStream.h"
#include "RDHttpServerConfigure.h"
#include "RDHttpStreamServerObserver.h"

#include <mutex>
#include <string>
#include <vector>

class RDHttpConnection;
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

    // Connection threads now alive, and the audio bytes waiting in listener
    // buffers (for supervision and tests).
    int connectionCount() const;
    long long pendingStreamBytes() const;

protected:
    virtual RDTcpSocketServer *createServerSocket();

private:
    friend class RDHttpStreamServerThread;
    friend class RDHttpStreamServerClientThread;

    void acceptLoop(RDHttpStreamServerThread *thread);
    bool findStream(const std::string &path, RDHttpAudioStream &out);
    void reapFinished();
    bool makeRoom(RDHttpStreamServerThread *thread, int cap);
    void stopAllClients();

    RDTcpSocketServer *m_serverSocket = nullptr;
    std::vector<RDHttpAudioStream> m_streams;
    std::vector<RDHttpStreamServerClientThread *> m_clients;
    std::mutex m_streamsMutex;
    mutable std::mutex m_clientsMutex;
    RDHttpStreamServerThread *m_acceptThread = nullptr;
    RDHttpStreamServerObserver *m_observer = nullptr;
    RDHttpServerConfigure m_config;
    RDSocketAddress m_listenAddress;
};
