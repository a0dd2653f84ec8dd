#pragma once

#include "RDSocketServer.h"

class RDTcpSocket;

// A listening IPv4 stream socket. close() from another thread wakes a thread
// blocked in accept(), which then returns null.
class RDTcpSocketServer : public RDSocketServer
{
public:
    RDTcpSocketServer() = default;
    ~RDTcpSocketServer() override;

    // Binds with SO_REUSEADDR to the address (a dotted address; no name is
    // resolved; anything else fails) and listens with a backlog of 2. The handle, or -1.
    int listen(const RDSocketAddress &address) override;
    void close() override;
    virtual int closeHandle();
    // A new connected socket owned by the caller, or null.
    virtual RDTcpSocket *accept();
};
