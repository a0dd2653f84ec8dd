#pragma once

#include "AVServStartInConfig.h"
#include "AVServStartOutConfig.h"

#include <netinet/in.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class P2PEndpoint;

// The device side of the library: the process-wide state behind the
// IOTC_* and av* calls.
class P2PDevice
{
public:
    static P2PDevice &instance();

    int initialize(unsigned short udpPort);
    int deinitialize();
    int setMaxSessions(unsigned int count);
    int setRendezvous(const char *ipv4, unsigned short port);
    int login(const char *uid, const unsigned char *info);
    int listen(unsigned int timeoutMs);
    int freeChannel(int session);
    int closeSession(int session);

    int avInitialize(int channels);
    int avDeinitialize();
    int startServer(const AVServStartInConfig *in, AVServStartOutConfig *out);
    void exitStart(int session, int channel);
    void stopServer(int avIndex);
    int receiveIOCtrl(int avIndex, unsigned int *ioType, char *buffer, int size, unsigned int timeoutMs);
    int sendIOCtrl(int avIndex, unsigned int ioType, const char *data, int length);
    int receiveAudio(int avIndex, char *buffer, int size, char *info, int infoSize, unsigned int *frameNo);
    int sendAudio(int avIndex, const char *data, int length, const void *info, int infoSize);

    // How long avRecvAudioData waits for a frame. The wait ends at once
    // when a frame comes, when the AV server is stopped or the layer
    // released, or when the session closes or ends; the time limit only
    // bounds a caller that is never woken.
    static constexpr int AudioWaitMs = 1000;
    // An AV start whose app has not started its side after this long ends
    // as timed out as soon as a newer connection waits to be accepted, so a
    // burst of connections that never start cannot hold the accepting
    // thread for the whole start time-out each. Alone, it keeps its time.
    static constexpr int StartYieldMs = 2000;

private:
    struct AvServer {
        bool used = false;
        int session = -1;
        int channel = 0;
        // Set when the server is stopped: its receivers return at once.
        std::shared_ptr<std::atomic<bool>> stopped;
    };
    struct PendingStart {
        int session;
        int channel;
        std::shared_ptr<std::atomic<bool>> abort;
    };

    P2PDevice();
    std::shared_ptr<P2PEndpoint> endpoint() const;
    std::shared_ptr<P2PEndpoint> openEndpoint(sockaddr_in &rendezvous);
    // The server's session, channel and stop flag; false for an unknown index.
    bool server(int avIndex, int &session, int &channel, std::shared_ptr<std::atomic<bool>> *stopped = nullptr) const;
    // Marks every server whose index `which` accepts as stopped and frees
    // it; the sessions whose receivers must be woken go to `sessions`.
    // Caller holds m_mutex.
    template <class Which> void stopServersLocked(Which which, std::vector<int> &sessions);
    void wakeSessions(const std::vector<int> &sessions);
    static int avError(int sessionResult);

    mutable std::mutex m_mutex;
    std::shared_ptr<P2PEndpoint> m_endpoint;
    unsigned int m_maxSessions = 8;
    bool m_rendezvousSet = false;
    sockaddr_in m_rendezvous{};
    bool m_loggedIn = false;
    bool m_initialized = false;
    unsigned short m_udpPort = 0;
    std::vector<AvServer> m_servers;
    // Where the search for a free AV index begins: a freed index is handed
    // out again only after the others, so a late call with an old index
    // rarely meets a newer server.
    size_t m_nextServer = 0;
    std::vector<PendingStart> m_starts;
};
