#pragma once

#include "P2PPacket.h"
#include "P2PSession.h"

#include <netinet/in.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <random>
#include <string>
#include <thread>
#include <vector>

// One UDP socket with its I/O thread and a table of sessions. The device
// side accepts connections into the table, the client side opens them; both
// then exchange reliable messages and audio frames through it. The thread
// sleeps in poll() until a datagram, a wake-up or the next timer
// (retransmission, keep-alive, silence of a peer) is due.
class P2PEndpoint
{
public:
    // Datagram faults for tests, applied to every endpoint's sends.
    struct Faults {
        double loss = 0;    // share of datagrams dropped
        double reorder = 0; // share held back and sent after the next one
        uint32_t seed = 1;
    };
    static void setFaultsForTesting(const Faults &faults);
    // Seconds of silence after which a peer counts as gone (default 10).
    static void setPeerTimeout(double seconds);
    static double peerTimeout();

    static constexpr double PingInterval = 1.0;

    P2PEndpoint();
    ~P2PEndpoint();

    // Binds `address`:`port` (host order; port 0 lets the system choose)
    // and starts the I/O thread. False when the socket cannot be bound.
    bool open(uint32_t address, uint16_t port, int maxSessions);
    uint16_t localPort() const;
    // Says goodbye to every open session, stops the thread, closes the socket.
    void close();

    // Sends `request` (with a fresh nonce as its connection id) every 200 ms
    // until a packet of `replyType` with that nonce comes back; false on
    // time-out.
    bool request(const sockaddr_in &to, P2PPacket request, uint8_t replyType, P2PPacket &reply, int timeoutMs);
    // Sends `packet` to `to` again every `interval` seconds from the I/O
    // thread (a device's login refresh). A zero interval stops it.
    void setRefresh(const sockaddr_in &to, const P2PPacket &packet, double interval);

    // Device side: Connects naming `uid` are accepted while the table has room.
    void setAccepting(const std::string &uid);
    // The slot of the next accepted session; IOTC_ERR_TIMEOUT when none came
    // within the wait; IOTC_ERR_SESSION_REFUSED when one was turned away.
    int accept(int timeoutMs);

    // Client side: opens a session to a device; its slot or a negative result.
    int connect(const sockaddr_in &device, const std::string &uid, int timeoutMs);

    bool isValidSlot(int slot) const;
    // 0 while the session is open, else the reason it ended (IOTC_ERR_*).
    int sessionState(int slot) const;
    // Queues a reliable message; 0, or AV_ERR_QUEUE_FULL, AV_ERR_INVALID_ARG,
    // or the session's end reason.
    int sendMessage(int slot, uint8_t kind, uint8_t channel, uint32_t ioType, const void *data, size_t size);
    // Waits up to `timeoutMs` for a message of `kind` on `channel`. 1 with
    // `out` filled; 0 on time-out or when `*abort` became true; the session's
    // end reason when it ended.
    // With `yieldAfterMs` >= 0 the wait also ends (0) once it has lasted
    // that long while a newer connection waits to be accepted.
    int receiveMessage(int slot, uint8_t kind, uint8_t channel, P2PSession::Message &out, int timeoutMs,
                       const std::atomic<bool> *abort = nullptr, int yieldAfterMs = -1);
    int sendAudio(int slot, uint8_t channel, const void *data, size_t size, const uint8_t *info);
    // Waits up to `timeoutMs` for an audio frame on `channel`; results as
    // for receiveMessage.
    int receiveAudio(int slot, uint8_t channel, P2PSession::Frame &out, int timeoutMs,
                     const std::atomic<bool> *abort = nullptr);
    // Ends the session (telling the peer when `tellPeer`) and frees its slot.
    void closeSession(int slot, bool tellPeer);
    // Wakes every waiter of a session (an abort flag was set).
    void wake(int slot);
    // Leaves the session open on this side but sends nothing more, not even
    // keep-alives: the peer sees it vanish (tests).
    void silence(int slot);
    int sessionCount() const;

private:
    void run();
    void handleDatagram(const uint8_t *data, size_t size, const sockaddr_in &from, double now);
    void handleConnect(const P2PPacket &p, const sockaddr_in &from, double now);
    void runTimers(double now);
    int nextTimeoutMs(double now) const;
    // Caller holds m_mutex.
    void sendLocked(const P2PPacket &p, const sockaddr_in &to);
    void transmitLocked(P2PSession &s, double now);
    int freeSlotLocked() const;
    std::shared_ptr<P2PSession> sessionLocked(int slot) const;
    void wakeThread();

    int m_fd = -1;
    int m_wakeFd = -1;
    uint16_t m_port = 0;
    std::thread m_thread;
    std::atomic<bool> m_running{false};

    mutable std::mutex m_mutex;
    std::condition_variable m_cond; // accept and request waiters
    std::vector<std::shared_ptr<P2PSession>> m_slots;
    std::map<uint32_t, int> m_byConnection;
    std::deque<int> m_acceptQueue;
    bool m_refused = false;
    bool m_accepting = false;
    std::string m_uid;
    std::map<uint64_t, P2PPacket> m_replies;
    // Where each awaited reply must come from: the address asked.
    std::map<uint64_t, sockaddr_in> m_replySources;
    sockaddr_in m_refreshTo{};
    P2PPacket m_refreshPacket;
    double m_refreshInterval = 0;
    double m_refreshNext = 0;
    std::vector<uint8_t> m_held;
    sockaddr_in m_heldTo{};
    double m_heldAt = 0;
    std::mt19937 m_random;
};
