#pragma once

#include <string>
#include <utility>
#include <vector>

// A form-encoded POST to a loopback HTTP server, with an overall time limit.
class HttpReport
{
public:
    void add(const std::string &key, const std::string &value);

    // application/x-www-form-urlencoded body; everything but RFC 3986
    // unreserved characters is percent-encoded, so "+" goes out as %2B.
    std::string body() const;

    // Returns the HTTP status of the answer, or 0 with `error` set.
    int post(int port, const std::string &path, int timeoutMs, std::string *error) const;

    static std::string percentEncode(const std::string &value);

private:
    std::vector<std::pair<std::string, std::string>> m_fields;
};
