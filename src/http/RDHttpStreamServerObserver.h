#pragma once

#include "HttpShim.h"

class RDHttpStreamServer;
class RDHttpConnection;
class RDHttpBaseRequest;

using RDHttpAddress = httpshim::Address;

// What the server reports to its owner. handleRequest is where the routes
// live: it runs on the connection's own thread, so several run at once.
class RDHttpStreamServerObserver
{
public:
    virtual ~RDHttpStreamServerObserver() = default;
    virtual void onStarted(RDHttpStreamServer *server, const RDHttpAddress &address) {}
    virtual void onStartFailed(RDHttpStreamServer *server, const RDHttpAddress &address) {}
    // Answer with connection->sendResponse; the request is deleted after the call.
    virtual void handleRequest(RDHttpStreamServer *server, RDHttpConnection *connection, RDHttpBaseRequest *request) {}
};
