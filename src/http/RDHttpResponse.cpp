#include "RDHttpResponse.h"

#include "RDHttpUtils.h"

void RDHttpResponse::reset()
{
    m_version.clear();
    m_reason.clear();
    m_status = 0;
    m_headers.clear();
}

void RDHttpResponse::setStatus(int status)
{
    m_status = status;
    m_reason = httpStatusReason(status);
}

void RDHttpResponse::setHeader(const std::string &name, const std::string &value)
{
    m_headers[name] = value;
}

void RDHttpResponse::setContentType(const std::string &type)
{
    setHeader("Content-Type", type);
}

std::string RDHttpResponse::header(const std::string &name) const
{
    auto it = m_headers.find(name);
    return it == m_headers.end() ? std::string() : it->second;
}

std::string RDHttpResponse::head() const
{
    std::string s = m_version + " " + std::to_string(m_status) + " " + m_reason + "\r\n";
    for (const auto &h : m_headers) {
        // A header value must never carry a line break into the head (RFC 7230 section 3.2.4).
        std::string value = h.second;
        for (char &c : value) {
            if (c == '\r' || c == '\n')
                c = ' ';
        }
        s += h.first + ": " + value + "\r\n";
    }
    s += "\r\n";
    return s;
}

void RDHttpResponse::setCrossOriginHeaders()
{
    setHeader("Access-Control-Allow-Origin", "*");
    setHeader("Access-Control-Allow-Headers", "Content-Type,X-Requested-With");
}
