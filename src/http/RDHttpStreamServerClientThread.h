#pragma once

#include "RDThread.h"
#include "RDHttpAudioStream.h"

#include <condition_variable>
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
    // Takes the next block once a whole one is there; sleeps until then, the
    // stream's close or the thread's stop, a quarter second at most.
    bool takeBlock(std::string &block, size_t size);
    void answerError(int status);

    RDHttpStreamServer *m_server;
    RDHttpConnection *m_connection;

    mutable std::mutex m_mutex; // guards the three fields below
    // Signalled, under m_mutex, when audio comes, the stream closes or the
    // thread is told to stop.
    std::condition_variable m_streamChanged;
    bool m_closeFlag = false;
    RDHttpAudioStream m_stream;
    std::string *m_streamBuffer = nullptr;
};
