#pragma once

#include "RDSocketAddress.h"

#include <atomic>
#include <cstdint>

// Base of the stream and datagram sockets: owns one IPv4 socket descriptor
// (-1 when closed), the error number of the last failed call and an address
// (the peer of a connected or accepted socket).
//
// A socket is used by one thread at a time; another thread may call close()
// to wake a thread blocked in it (shutdown wakes blocked calls on Linux).
class RDSocket
{
public:
    virtual ~RDSocket();

    RDSocket(const RDSocket &) = delete;
    RDSocket &operator=(const RDSocket &) = delete;

    // Binds to the address; an empty host means every interface, a name is
    // resolved first. 0 on success, -1 on failure. The address is not stored.
    virtual int bind(const RDSocketAddress &address);
    virtual int setReuseAddress(int on);
    // Whether the result of a send or receive means the connection is lost.
    virtual bool isBroken(int result, int error);
    virtual int connect(const RDSocketAddress &address) = 0;
    virtual void close() = 0;
    virtual bool isValid();
    virtual int send(const char *data, int length) = 0;
    virtual int recv(char *buffer, int length) = 0;
    virtual int sendTo(const RDSocketAddress &address, const char *data, int length) = 0;
    virtual int recvFrom(RDSocketAddress &address, char *buffer, int length) = 0;

    RDSocketAddress address() const { return m_address; }
    int handle() const { return m_handle.load(); }
    int lastError() const { return m_lastError; }

    // Non-blocking mode; there is no way back. 0, or -1 on failure.
    int setNonBlocking();
    // Waits until the socket is readable or the time passes: 0 on time-out,
    // -1 on error (also for a closed socket), 1 when readable (data, end of
    // stream or a pending error all count as readable).
    int waitReadable(int seconds, int microseconds);

protected:
    explicit RDSocket(int handle);

    // Shared bodies of the socket calls. Every send passes MSG_NOSIGNAL: a
    // peer that vanished must give EPIPE, not a SIGPIPE that ends the process.
    int sendImpl(const char *data, int length);
    int recvImpl(char *buffer, int length);
    int sendToImpl(const RDSocketAddress &address, const char *data, int length);
    int recvFromImpl(RDSocketAddress &address, char *buffer, int length);
    // The common end of those calls: a result of 0 or -1 stores the error
    // number and closes the socket when the result means it is broken.
    int finishCall(int rc);
    // Shuts down and closes the descriptor (0 is a valid descriptor) and
    // clears the address.
    void closeImpl();
    // Shuts down and closes, keeping the address; the close result, or the
    // handle unchanged when there was none.
    int closeHandleImpl();
    // The text to bind or connect to; empty when a name does not resolve.
    static std::string chooseHostText(const std::string &host, bool forBind);
    int fail(int result);

    std::atomic<int> m_handle;
    int m_lastError = 0;
    RDSocketAddress m_address;
};

// Process-wide socket start and clean-up. POSIX sockets need neither; they
// stay as the calls start-up and shut-down make. Both return 0.
int socketStartup();
int socketCleanup();

// Whether a new IPv4 TCP socket can be bound to 0.0.0.0 at the port. The
// probe sets SO_REUSEADDR so that connections lingering in TIME_WAIT do not
// count as a user (Linux still refuses the bind while anything listens).
bool isTcpPortAvailable(uint16_t port);
// The same for a UDP socket (SIP listens on UDP).
bool isUdpPortAvailable(uint16_t port);
