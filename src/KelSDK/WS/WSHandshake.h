#pragma once

#include <cstddef>
#include <map>
#include <string>

// The server side of the WebSocket opening handshake (RFC 6455 section 4.2).
class WSHandshake
{
public:
    enum class Status { Ok, NeedMore, Bad };

    // A request head larger than this is refused.
    static constexpr size_t MaxHeadSize = 16 * 1024;

    // Looks for the CR LF CR LF that ends the head; with Ok, `headLength`
    // covers the head including that sequence. Bad when no end shows up
    // within MaxHeadSize bytes.
    static Status findHead(const std::string &buffer, size_t &headLength);

    // Splits the head into header fields: names as sent (case kept), values
    // trimmed of spaces; a later field of the same name replaces an earlier one.
    static std::map<std::string, std::string> parseHeaders(const std::string &head);

    // "Connection" must be "Upgrade" and "Upgrade" must be "websocket",
    // each as a whole value, ignoring case.
    static bool isUpgradeRequest(const std::map<std::string, std::string> &headers);

    // base64(SHA-1(key + the GUID of section 1.3)).
    static std::string acceptValue(const std::string &key);

    static std::string response(const std::string &acceptValue);
};
