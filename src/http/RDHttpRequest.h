#pragma once

#include <cstdint>
#include <map>
#include <string>

// Header field names are case-insensitive (RFC 7230 section 3.2), so the map
// orders and finds them without regard to ASCII case.
struct RDHttpHeaderNameLess {
    bool operator()(const std::string &a, const std::string &b) const;
};

using RDHttpHeaders = std::map<std::string, std::string, RDHttpHeaderNameLess>;

class RDHttpRequest
{
public:
    RDHttpRequest() = default;
    virtual ~RDHttpRequest() = default;

    virtual void reset();
    virtual void clearBody() = 0;

    // Fills the request from a head (everything before the blank line, lines
    // ending in "\r\n"). False when there is no request line of three words;
    // nothing is stored then.
    bool parse(const std::string &head);
    bool parseContentLength();

    std::string header(const std::string &name) const;
    bool hasHeader(const std::string &name) const;
    std::string toString() const;

    const std::string &method() const { return m_method; }
    // The request target, percent-decoded once, query included.
    const std::string &path() const { return m_path; }
    // The request target exactly as received; queries are parsed from this
    // form so each key and value is decoded exactly once.
    const std::string &target() const { return m_target; }
    const std::string &version() const { return m_version; }
    const RDHttpHeaders &headers() const { return m_headers; }
    int64_t contentLength() const { return m_contentLength; }

    // False when the head carried "Content-Length" more than once with
    // different values, or a value that is not a plain decimal number.
    bool contentLengthWellFormed() const { return m_contentLengthWellFormed; }

protected:
    std::string m_method;
    std::string m_path;
    std::string m_target;
    std::string m_version;
    RDHttpHeaders m_headers;
    int64_t m_contentLength = 0;
    bool m_contentLengthWellFormed = true;
};
