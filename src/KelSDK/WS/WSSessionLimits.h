#pragma once

#include <cstddef>

// Bounds that keep one WebSocket session from pinning threads or memory.
struct WSSessionLimits {
    // Seconds a new connection has to send its opening handshake. Short:
    // an app sends it right after connecting.
    double handshakeTimeout = 3.0;
    // Connections still waiting for their handshake, apart from the
    // sessions; past this many the oldest is closed.
    size_t maxPendingHandshakes = 64;
    // Seconds without any received byte before the session is closed. The
    // server pings after 60 s of silence, which a live client answers.
    double idleTimeout = 120.0;
    // Seconds of silence on the send side before a keep-alive ping.
    double keepAliveInterval = 60.0;
    // Largest received message (all fragments together).
    size_t maxMessageSize = 256 * 1024;
    // Outgoing queue: past this many messages (or bytes) the peer is not
    // reading and the session is closed; audio is dropped first.
    size_t maxQueuedMessages = 256;
    size_t maxQueuedBytes = 8 * 1024 * 1024;
    size_t maxQueuedAudio = 50;
    // Received audio frames kept for the SIP layer.
    size_t maxReceivedAudio = 30;
};
