#pragma once

#include "RDSocketAddress.h"

#include <atomic>

// Base of the listening sockets: the descriptor (-1 until listen), the listen
// backlog, the error number of the last failed call and the address
// listened on.
class RDSocketServer
{
public:
    RDSocketServer();
    virtual ~RDSocketServer();

    RDSocketServer(const RDSocketServer &) = delete;
    RDSocketServer &operator=(const RDSocketServer &) = delete;

    // Opens, binds and listens; the handle, or -1.
    virtual int listen(const RDSocketAddress &address) = 0;
    virtual void close() = 0;
    virtual bool isValid();

    // The address listened on; when port 0 was asked, the port the system gave.
    RDSocketAddress address() const { return m_address; }
    int handle() const { return m_handle.load(); }
    int lastError() const { return m_lastError; }

protected:
    std::atomic<int> m_handle;
    int m_backlog = 2;
    int m_lastError = 0;
    RDSocketAddress m_address;
};
