#pragma once

#include <string>

// HTTP digest authentication for SIP (RFC 2617 as used by RFC 3261): MD5
// only, with or without qop=auth. Pure functions; used by the stack to answer
// 401/407 challenges and by registrars (tests) to check an Authorization.
class SipDigest
{
public:
    // The fields of a WWW-Authenticate / Proxy-Authenticate or an
    // Authorization / Proxy-Authorization header, unquoted.
    struct Params
    {
        std::string scheme;     // "Digest"
        std::string realm;
        std::string nonce;
        std::string opaque;
        std::string algorithm;  // empty = MD5
        std::string qop;        // challenge: the offered list; credentials: the chosen one
        std::string username;
        std::string uri;
        std::string response;
        std::string cnonce;
        std::string nc;         // 8 hex digits
        bool stale = false;
    };

    // Lower-case hex MD5 of a text.
    static std::string md5Hex(const std::string &text);

    // H(A1) = MD5(user:realm:password).
    static std::string ha1(const std::string &user, const std::string &realm, const std::string &password);

    // The request-digest. With qop "auth": MD5(HA1:nonce:nc:cnonce:auth:HA2),
    // without qop: MD5(HA1:nonce:HA2); HA2 = MD5(method:uri).
    static std::string response(const std::string &ha1Hex, const std::string &nonce, const std::string &nc,
                                const std::string &cnonce, const std::string &qop, const std::string &method,
                                const std::string &uri);

    // Parses the value of a challenge or credentials header ("Digest a=b, c="d"").
    // False for a scheme other than Digest or a malformed list.
    static bool parse(const std::string &value, Params &out);

    // The value of an Authorization header answering `challenge` for the
    // request (method, uri). Chooses qop=auth when offered (with `cnonce` and
    // the counter `nc` written as 8 hex digits). Empty when the challenge asks
    // for an algorithm other than MD5 or a qop other than auth.
    static std::string authorization(const Params &challenge, const std::string &user, const std::string &password,
                                     const std::string &method, const std::string &uri, const std::string &cnonce,
                                     unsigned nc);

    // True when the credentials header value carries the right response for
    // (method, password) under `realm` and `nonce`.
    static bool verify(const std::string &credentials, const std::string &method, const std::string &realm,
                       const std::string &nonce, const std::string &password);
};
