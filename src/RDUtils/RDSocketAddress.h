#pragma once

#include <netinet/in.h>
#include <string>

// An IPv4 socket address as the socket classes use it: host text (a dotted
// address or a host name) and a port in host byte order.
class RDSocketAddress
{
public:
    RDSocketAddress() = default;
    RDSocketAddress(const std::string &host, int port);

    void clear();

    // Host = the address as dotted text, port = the port in host byte order.
    void fromSockaddr(const sockaddr_in &addr);
    // AF_INET, port in network byte order, the host text as address. No name
    // is resolved: text that is not a dotted address gives INADDR_NONE.
    sockaddr_in toSockaddr() const;

    // True only when the whole text is a dotted IPv4 address with four
    // decimal parts of 0 to 255 ("1.2.3.4x" and "256.1.1.1" are not).
    static bool isDottedQuad(const std::string &host);
    // Looks the name up and stores the first IPv4 address as dotted text in
    // `out`. -1 when the lookup fails (out unchanged); 0 on success, or the
    // last getnameinfo error; 0 with out unchanged when no IPv4 address came.
    static int resolveHost(const std::string &name, std::string &out);

    std::string host;
    int port = 0;
};
