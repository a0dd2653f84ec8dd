#include "RDHttpRequest.h"

#include "RDHttpUtils.h"

#include <cctype>
#include <limits>
#include <vector>

namespace {

bool isTrimChar(char c)
{
    return c == ' ' || c == '\r' || c == '\n' || c == '\t';
}

std::string trimmed(const std::string &s)
{
    size_t b = 0;
    size_t e = s.size();
    while (b < e && isTrimChar(s[b]))
        ++b;
    while (e > b && isTrimChar(s[e - 1]))
        --e;
    return s.substr(b, e - b);
}

// A value made only of decimal digits that fits a signed 64-bit number.
bool strictDecimal(const std::string &s, int64_t &out)
{
    if (s.empty() || s.size() > 18)
        return false;
    int64_t v = 0;
    for (char c : s) {
        if (c < '0' || c > '9')
            return false;
        v = v * 10 + (c - '0');
    }
    out = v;
    return true;
}

} // namespace

bool RDHttpHeaderNameLess::operator()(const std::string &a, const std::string &b) const
{
    const size_t n = a.size() < b.size() ? a.size() : b.size();
    for (size_t i = 0; i < n; ++i) {
        const int ca = std::tolower(static_cast<unsigned char>(a[i]));
        const int cb = std::tolower(static_cast<unsigned char>(b[i]));
        if (ca != cb)
            return ca < cb;
    }
    return a.size() < b.size();
}

void RDHttpRequest::reset()
{
    m_method.clear();
    m_path.clear();
    m_target.clear();
    m_version.clear();
    m_headers.clear();
    m_contentLength = 0;
    m_contentLengthWellFormed = true;
}

bool RDHttpRequest::parse(const std::string &head)
{
    std::vector<std::string> lines;
    size_t start = 0;
    while (true) {
        const size_t crlf = head.find("\r\n", start);
        if (crlf == std::string::npos) {
            lines.push_back(head.substr(start));
            break;
        }
        lines.push_back(head.substr(start, crlf - start));
        start = crlf + 2;
    }
    if (lines.empty())
        return false;

    // Request line (RFC 7230 section 3.1.1): method SP target SP version.
    // Everything after the second blank is the version, blanks included.
    const std::string &first = lines.front();
    const size_t sp1 = first.find(' ');
    if (sp1 == std::string::npos)
        return false;
    const size_t sp2 = first.find(' ', sp1 + 1);
    if (sp2 == std::string::npos)
        return false;

    RDHttpHeaders headers;
    std::string seenLength;
    bool haveLength = false;
    bool lengthOk = true;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string &line = lines[i];
        const size_t colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = trimmed(line.substr(0, colon));
        const std::string value = trimmed(line.substr(colon + 1));
        const RDHttpHeaderNameLess less;
        if (!less(name, "Content-Length") && !less("Content-Length", name)) {
            // Same name ignoring case: a repeated length must repeat the same value
            // (RFC 7230 section 3.3.2), else the message framing is ambiguous.
            if (haveLength && seenLength != value)
                lengthOk = false;
            seenLength = value;
            haveLength = true;
        }
        headers[name] = value;
    }

    reset();
    m_method = first.substr(0, sp1);
    m_target = first.substr(sp1 + 1, sp2 - sp1 - 1);
    m_path = httpUrlDecode(m_target);
    m_version = first.substr(sp2 + 1);
    m_headers = std::move(headers);
    parseContentLength();
    if (!lengthOk)
        m_contentLengthWellFormed = false;
    return true;
}

bool RDHttpRequest::parseContentLength()
{
    auto it = m_headers.find("Content-Length");
    if (it == m_headers.end())
        return false;
    int64_t value = 0;
    if (strictDecimal(it->second, value)) {
        m_contentLength = value;
        m_contentLengthWellFormed = true;
        return true;
    }
    // Lenient reading: leading blanks, an optional sign, digits up to the first
    // other character; saturates instead of overflowing. Such a value is still
    // flagged, and the server refuses the request.
    const std::string &s = it->second;
    size_t i = 0;
    while (i < s.size() && (s[i] == ' ' || s[i] == '\t'))
        ++i;
    bool negative = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        negative = s[i++] == '-';
    int64_t v = 0;
    const int64_t max = std::numeric_limits<int64_t>::max();
    for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
        const int d = s[i] - '0';
        if (v > (max - d) / 10) {
            v = max;
            break;
        }
        v = v * 10 + d;
    }
    m_contentLength = negative ? -v : v;
    m_contentLengthWellFormed = false;
    return true;
}

std::string RDHttpRequest::header(const std::string &name) const
{
    auto it = m_headers.find(name);
    return it == m_headers.end() ? std::string() : it->second;
}

bool RDHttpRequest::hasHeader(const std::string &name) const
{
    return m_headers.find(name) != m_headers.end();
}

std::string RDHttpRequest::toString() const
{
    std::string s = m_method + " " + m_path + " " + m_version + "\r\n";
    for (const auto &h : m_headers)
        s += h.first + ": " + h.second + "\r\n";
    s += "\r\n";
    return s;
}
