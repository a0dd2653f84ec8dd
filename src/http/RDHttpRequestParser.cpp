#include "RDHttpRequestParser.h"

#include "RDHttpRequest.h"

#include <cstring>
#include <string>

namespace {

RDHttpRequestParser::Result bad(int status)
{
    RDHttpRequestParser::Result r;
    r.status = RDHttpRequestParser::Status::Bad;
    r.errorStatus = status;
    return r;
}

// RFC 7230 section 3.2.6: token characters of a method.
bool isTokenChar(unsigned char c)
{
    if (c >= '0' && c <= '9')
        return true;
    if ((c | 0x20) >= 'a' && (c | 0x20) <= 'z')
        return true;
    return c && std::strchr("!#$%&'*+-.^_`|~", c) != nullptr;
}

} // namespace

RDHttpRequestParser::Result RDHttpRequestParser::parseHead(const char *data, size_t length, RDHttpRequest &request)
{
    return parseHead(data, length, request, Limits());
}

RDHttpRequestParser::Result RDHttpRequestParser::parseHead(const char *data, size_t length, RDHttpRequest &request,
                                                           const Limits &limits)
{
    // RFC 7230 section 3.5: empty lines before the request line are ignored.
    size_t begin = 0;
    while (begin + 1 < length && data[begin] == '\r' && data[begin + 1] == '\n')
        begin += 2;

    // Walk the lines until the blank line, checking each line's length and the
    // total, so an endless head is refused as soon as it passes a limit.
    size_t lineStart = begin;
    size_t end = 0; // index just past the blank line
    bool firstLine = true;
    for (size_t i = begin; i < length; ++i) {
        const char c = data[i];
        if (c == '\0')
            return bad(400);
        if (c != '\n')
            continue;
        if (i == lineStart || data[i - 1] != '\r')
            return bad(400); // a bare LF is not a line end we accept
        const size_t lineLen = i - 1 - lineStart;
        if (lineLen > limits.maxLineBytes)
            return bad(firstLine ? 414 : 431);
        if (lineLen == 0) {
            if (firstLine)
                return bad(400);
            end = i + 1;
            break;
        }
        firstLine = false;
        lineStart = i + 1;
    }
    if (end == 0) {
        const size_t open = length - lineStart;
        if (open > limits.maxLineBytes + 1)
            return bad(firstLine ? 414 : 431);
        if (length - begin > limits.maxHeadBytes)
            return bad(431);
        Result more;
        more.consumed = begin; // leading empty lines may be dropped already
        return more;
    }
    if (end - begin > limits.maxHeadBytes)
        return bad(431);

    // The head without its final "\r\n\r\n" but with the "\r\n" of its last line kept apart.
    const std::string head(data + begin, end - begin - 4);
    if (!request.parse(head))
        return bad(400);
    if (request.method().empty() || request.path().empty() || request.version().empty())
        return bad(400);
    for (char c : request.method()) {
        if (!isTokenChar(static_cast<unsigned char>(c)))
            return bad(400);
    }
    if (request.target().find_first_of(" \t") != std::string::npos || request.version().compare(0, 5, "HTTP/") != 0)
        return bad(400);

    // Message body framing (RFC 7230 section 3.3.3).
    if (request.hasHeader("Transfer-Encoding"))
        return bad(501); // chunked bodies are not supported; never guess the framing
    if (!request.contentLengthWellFormed() || request.contentLength() < 0)
        return bad(400);
    if (request.contentLength() > limits.maxBodyBytes)
        return bad(413);

    Result r;
    r.status = Status::Ok;
    r.consumed = end;
    return r;
}
