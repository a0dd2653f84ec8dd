#include "WSHandshake.h"

#include "RDStringHelper.h"

#include <strings.h>

namespace {

const char *const kGuid = "258EAFA5-E914-47DA-95CA-C5AB0DC85B11";

std::string trim(const std::string &s)
{
    const char *ws = " \t\r\n";
    const size_t b = s.find_first_not_of(ws);
    if (b == std::string::npos)
        return std::string();
    const size_t e = s.find_last_not_of(ws);
    return s.substr(b, e - b + 1);
}

bool equalsNoCase(const std::string &a, const char *b)
{
    return strcasecmp(a.c_str(), b) == 0;
}

} // namespace

WSHandshake::Status WSHandshake::findHead(const std::string &buffer, size_t &headLength)
{
    const size_t end = buffer.find("\r\n\r\n");
    if (end != std::string::npos && end + 4 <= MaxHeadSize) {
        headLength = end + 4;
        return Status::Ok;
    }
    if (end != std::string::npos || buffer.size() >= MaxHeadSize)
        return Status::Bad;
    return Status::NeedMore;
}

std::map<std::string, std::string> WSHandshake::parseHeaders(const std::string &head)
{
    std::map<std::string, std::string> headers;
    size_t pos = head.find("\r\n"); // skip the request line
    while (pos != std::string::npos && pos < head.size()) {
        pos += 2;
        const size_t next = head.find("\r\n", pos);
        const std::string line = head.substr(pos, next == std::string::npos ? std::string::npos : next - pos);
        pos = next;
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = trim(line.substr(0, colon));
        const std::string value = trim(line.substr(colon + 1));
        if (name.empty() || value.empty())
            continue;
        headers[name] = value;
    }
    return headers;
}

bool WSHandshake::isUpgradeRequest(const std::map<std::string, std::string> &headers)
{
    const auto c = headers.find("Connection");
    const auto u = headers.find("Upgrade");
    return c != headers.end() && u != headers.end() && equalsNoCase(c->second, "Upgrade") &&
           equalsNoCase(u->second, "websocket");
}

std::string WSHandshake::acceptValue(const std::string &key)
{
    const std::string text = key + kGuid;
    uint8_t digest[20];
    if (sha1(text.data(), int(text.size()), digest) != 0)
        return std::string();
    return base64Encode(digest, 20);
}

std::string WSHandshake::response(const std::string &accept)
{
    return "HTTP/1.1 101 Switching Protocols\r\n"
           "Upgrade: WebSocket\r\n"
           "Connection: Upgrade\r\n"
           "Sec-WebSocket-Accept: " +
           accept + "\r\n\r\n";
}
