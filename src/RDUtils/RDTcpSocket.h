#pragma once

#include "RDSocket.h"

// A connected IPv4 stream socket. The constructor opens the socket; connect
// resolves host names; a send or receive that finds the connection lost
// closes the socket on the spot.
class RDTcpSocket : public RDSocket
{
public:
    RDTcpSocket();
    // Takes over a descriptor returned by accept; no socket is opened.
    RDTcpSocket(int acceptedHandle, const RDSocketAddress &peer);
    ~RDTcpSocket() override;

    // Stores the address and connects; the handle on success, else closes
    // the socket and returns -1.
    int connect(const RDSocketAddress &address) override;
    void close() override;
    int send(const char *data, int length) override;
    int recv(char *buffer, int length) override;
    // A stream socket has no datagram calls: both answer -1.
    int sendTo(const RDSocketAddress &address, const char *data, int length) override;
    int recvFrom(RDSocketAddress &address, char *buffer, int length) override;

    virtual int listen(int backlog);
    // A new socket owned by the caller, or null.
    virtual RDTcpSocket *accept();
    // Accepts one connection on a listening descriptor (close-on-exec); null
    // with the error number stored in `lastError` when accept fails.
    static RDTcpSocket *acceptFrom(int listenHandle, int &lastError);
    // Closes the descriptor but keeps the address; the close result, or the
    // handle unchanged when the socket was already closed.
    virtual int closeHandle();
    // Receive and send time-out, as seconds and microseconds (one timeval
    // applied to SO_RCVTIMEO and SO_SNDTIMEO). Stored, and applied now when
    // the socket is open and either value is above 0; also applied after a
    // later connect. The result of the second setsockopt, or 0 when nothing
    // was applied.
    virtual int setTimeouts(int seconds, int microseconds);
    virtual bool hasTimeouts();

private:
    int applyTimeouts();

    int m_timeoutSeconds = 0;
    int m_timeoutMicroseconds = 0;
};
