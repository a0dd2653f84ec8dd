#pragma once

#include <cstddef>
#include <cstdint>

class RDHttpRequest;

// Frames one request head out of the bytes a connection has collected so far.
// The parser is pure: it never reads a socket, so partial and pipelined input
// are handled by calling it again with more bytes, and every size is capped.
class RDHttpRequestParser
{
public:
    enum class Status {
        Ok,       // a head was parsed; `consumed` bytes of the input belong to it
        NeedMore, // the head is not complete yet and is still within the limits
        Bad,      // the head can never become a valid request; `errorStatus` says why
    };

    struct Limits {
        size_t maxHeadBytes = 16 * 1024; // request line and header block, blank line included
        size_t maxLineBytes = 8 * 1024;  // any one line of the head
        int64_t maxBodyBytes = 1024 * 1024;
    };

    struct Result {
        Status status = Status::NeedMore;
        // Ok: bytes of the head (leading empty lines and the blank line included).
        // NeedMore: leading empty lines the caller may drop already.
        size_t consumed = 0;
        int errorStatus = 0;   // 400, 413, 414, 431 or 501 when Bad
    };

    static Result parseHead(const char *data, size_t length, RDHttpRequest &request, const Limits &limits);
    static Result parseHead(const char *data, size_t length, RDHttpRequest &request);
};
