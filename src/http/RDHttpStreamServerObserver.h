#pragma once

#include "RDSocketAddress.h"

class RDHttpStreamServer;
class RDHttpConnection;
class RDHttpBaseRequest;

// What the server reports to its owner. handleRequest is where the routes
// live: it runs on the connection's own thread, so several run at once.
class RDHttpStreamServerObserver
{
public:
    virtual ~RDHttpStreamServerObserver() = default;
    virtual void onStarted(RDHttpStreamServer *server, const RDSocketAddress &address) {}
    virtual void onStartFailed(RDHttpStreamServer *server, const RDSocketAddress &address) {}
    // Answer with connection->sendResponse; the request is deleted after the call.
    virtual void handleRequest(RDHttpStreamServer *server, RDHttpConnection *connection, RDHttpBaseRequest *request) {}
};
