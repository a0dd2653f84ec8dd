#pragma once

#include "RDSocket.h"

// An IPv4 datagram socket. Unlike a stream socket it is never closed by a
// send or receive: an empty datagram is legal and errors such as
// ECONNREFUSED or ENETUNREACH are transient for a datagram socket.
class RDUdpSocket : public RDSocket
{
public:
    RDUdpSocket();
    ~RDUdpSocket() override;

    bool isBroken(int result, int error) override;
    // Sets the default peer (a dotted address; no name is resolved). The
    // handle, or -1 after closing the socket.
    int connect(const RDSocketAddress &address) override;
    void close() override;
    int send(const char *data, int length) override;
    int recv(char *buffer, int length) override;
    int sendTo(const RDSocketAddress &address, const char *data, int length) override;
    // Fills `address` with the sender; meaningful when the result is 0 or more.
    int recvFrom(RDSocketAddress &address, char *buffer, int length) override;

    virtual int setBroadcast();
};
