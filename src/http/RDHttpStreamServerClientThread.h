#pragma once

#include "RDThread.h"
#include "RDHttpAudioStream.h"

#include <mutex>
#include <string>

class RDHttpStreamServer;
class RDHttpConnection;
class RDHttpBaseRequest;

// Serves one connection: its requests one after another, or one live stream.
class RDHttpStreamServerClientThread : public RDThread
{
public:
    RDHttpStreamServerClientThread(RDHttpStreamServer *server, RDHttpConnection *connection);
    ~RDHttpStreamServerClientThread() override;
    void stop() override;

    RDHttpConnection *connection() const { return m_connection; }

    // Called by the server under its client-list lock.
    void appendStream(const RDHttpAudioStream &stream, const char *data, int length, int limit);
    void closeStream(const RDHttpAudioStream &stream);
    bool isListener() const;
    long long pendingStreamBytes() const;

protected:
    void run() override;

private:
    void serveStream(RDHttpBaseRequest *request);
    void pumpIcy();
    void pumpRaw();
    // Sends the listener's audio in blocks of `size` bytes until the stream
    // closes, the thread stops or the peer goes; with `emptyMetadata` each
    // block is followed by a zero metadata length byte (ICY framing).
    void pumpBlocks(size_t size, bool emptyMetadata);
    bool takeBlock(std::string &block, size_t size);
    void answerError(int status);

    RDHttpStreamServer *m_server;
    RDHttpConnection *m_connection;

    mutable std::mutex m_mutex; // guards the three fields below
    bool m_closeFlag = false;
    RDHttpAudioStream m_stream;
    std::string *m_streamBuffer = nullptr;
};
