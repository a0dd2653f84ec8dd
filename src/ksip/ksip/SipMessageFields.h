#pragma once

struct osip_message;
struct osip_uri;

// Read-only lookups of the header fields the accounts act on, over oSIP's
// message tree. Everything here comes from the network: missing headers,
// addresses and parameters give null (or the stated default), never a crash.
class SipMessageFields
{
public:
    // A port text as a number: `fallback` when it is missing or empty, 0
    // when it is not a number in 1..65535.
    static int port(const char *text, int fallback = 5060);
    // Status code of a response, 0 for none.
    static int status(const osip_message *message);
    // The first Contact's address, or null.
    static osip_uri *contactUri(const osip_message *message);
    // The first Record-Route's address, or null.
    static osip_uri *recordRouteUri(const osip_message *message);
    // Host and port of the top Via (the port as text, maybe null).
    static const char *topViaHost(const osip_message *message);
    static const char *topViaPort(const osip_message *message);
    // A parameter of the top Via ("received", "rport"), or null; a
    // parameter without value gives "".
    static const char *topViaParam(const osip_message *message, const char *name);
    // The To / From address, or null.
    static osip_uri *toUri(const osip_message *message);
    static osip_uri *fromUri(const osip_message *message);
    static const char *fromDisplayName(const osip_message *message);
    // Seconds a registrar granted in a 2xx to REGISTER: the "expires"
    // parameter of the Contact that names `contactHost`, else of any
    // Contact, else the Expires header; -1 when none is there or readable.
    static int grantedExpires(const osip_message *response, const char *contactHost);
    // True when the text is an IPv4 address in 127.0.0.0/8.
    static bool isLoopback(const char *ip);
    // True when both texts name the same IPv4 address (numeric texts are
    // compared as addresses, anything else byte-wise).
    static bool sameAddress(const char *a, const char *b);
};
