#pragma once

#include <string>

class RDHttpServerConfigure
{
public:
    virtual ~RDHttpServerConfigure() = default;

    std::string host;          // empty: "0.0.0.0"
    int port = 0;              // 0 or less: 8088
    std::string uploadPath;    // the folder the routes serve and upload into
    std::string bodyTempPath;  // where a body that outgrows memory is kept; empty: memory only
    int maxConnections = 0;    // connection threads at once; less than 1: kDefaultMaxConnections
    int bodyMemoryLimit = 0;   // body bytes kept in memory before moving to bodyTempPath
    std::string user;          // HTTP Basic credentials; both empty: every request passes
    std::string password;

    // Bounds that keep one client from holding memory or a thread for ever.
    int maxHeadBytes = 16 * 1024;       // request line and headers (431 beyond)
    int maxLineBytes = 8 * 1024;        // one line of the head (414 / 431 beyond)
    long long maxBodyBytes = 1024 * 1024; // request body (413 beyond)
    int headTimeoutMs = 10 * 1000;      // a begun request must arrive within this time (408)
    int idleTimeoutMs = 120 * 1000;     // an idle keep-alive connection is closed after this
    int sendTimeoutMs = 10 * 1000;      // a peer that takes no bytes for this long is dropped
    int streamBufferLimit = 64 * 1024;  // unsent audio kept per listener; the oldest goes first

    static constexpr int kDefaultMaxConnections = 64;
    static constexpr int kDefaultPort = 8088;
};
