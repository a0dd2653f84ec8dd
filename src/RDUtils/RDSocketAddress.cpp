#include "RDSocketAddress.h"

#include <arpa/inet.h>
#include <cstring>
#include <netdb.h>
#include <sys/socket.h>

RDSocketAddress::RDSocketAddress(const std::string &h, int p)
    : host(h), port(p)
{
}

void RDSocketAddress::clear()
{
    host.clear();
    port = 0;
}

void RDSocketAddress::fromSockaddr(const sockaddr_in &addr)
{
    char text[1024] = {0};
    if (inet_ntop(AF_INET, &addr.sin_addr, text, sizeof(text)))
        host = text;
    else
        host.clear();
    port = ntohs(addr.sin_port);
}

sockaddr_in RDSocketAddress::toSockaddr() const
{
    sockaddr_in addr;
    std::memset(&addr, 0, sizeof(addr));
    addr.sin_family = AF_INET;
    addr.sin_port = htons(static_cast<uint16_t>(port));
    // inet_pton, unlike inet_addr, takes only the plain four-part form and
    // rejects trailing text; anything else maps to INADDR_NONE as before.
    if (inet_pton(AF_INET, host.c_str(), &addr.sin_addr) != 1)
        addr.sin_addr.s_addr = INADDR_NONE;
    return addr;
}

bool RDSocketAddress::isDottedQuad(const std::string &h)
{
    if (h.size() > 15 || h.find('\0') != std::string::npos)
        return false;
    in_addr a;
    return inet_pton(AF_INET, h.c_str(), &a) == 1;
}

int RDSocketAddress::resolveHost(const std::string &name, std::string &out)
{
    addrinfo hints;
    std::memset(&hints, 0, sizeof(hints));
    hints.ai_flags = AI_CANONNAME;
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;

    addrinfo *res = nullptr;
    if (name.empty() || name.find('\0') != std::string::npos
        || getaddrinfo(name.c_str(), nullptr, &hints, &res) != 0)
        return -1;

    int rc = 0;
    for (addrinfo *p = res; p; p = p->ai_next) {
        if (p->ai_family != AF_INET)
            continue;
        char text[1024] = {0};
        rc = getnameinfo(p->ai_addr, p->ai_addrlen, text, sizeof(text), nullptr, 0, NI_NUMERICHOST);
        if (rc == 0) {
            out = text;
            break;
        }
    }
    freeaddrinfo(res);
    return rc;
}
