#pragma once

#include <map>
#include <string>

class RDHttpConnection;

// Response header names are written exactly as set and listed in byte order.
using RDHttpResponseHeaders = std::map<std::string, std::string>;

class RDHttpResponse
{
public:
    RDHttpResponse() = default;
    virtual ~RDHttpResponse() = default;

    virtual void reset();
    virtual void send(RDHttpConnection *connection) = 0;

    void setStatus(int status);
    void setHeader(const std::string &name, const std::string &value);
    void setContentType(const std::string &type);
    std::string head() const;

    int status() const { return m_status; }
    const std::string &reason() const { return m_reason; }
    const std::string &version() const { return m_version; }
    const RDHttpResponseHeaders &headers() const { return m_headers; }
    std::string header(const std::string &name) const;

protected:
    // Every answer of this server may be read by pages of other origins.
    void setCrossOriginHeaders();

    std::string m_version = "HTTP/1.1";
    int m_status = 200;
    std::string m_reason = "OK";
    RDHttpResponseHeaders m_headers;
};
