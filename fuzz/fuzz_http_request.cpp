// libFuzzer target for the HTTP request reader: the head parser, body framing
// of pipelined requests, and the query parser on every target it accepts.
#include "RDHttpBaseRequest.h"
#include "RDHttpRequestParser.h"
#include "RDHttpUtils.h"
#include "RDMFData.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

void check(bool condition)
{
    if (!condition)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    RDHttpRequestParser::Limits limits;
    limits.maxHeadBytes = 4096;
    limits.maxLineBytes = 1024;
    limits.maxBodyBytes = 4096;
    const char *bytes = reinterpret_cast<const char *>(data);

    // Walk the input as a connection would: head, body of exactly
    // Content-Length bytes, then the next request.
    size_t offset = 0;
    for (int requests = 0; offset < size && requests < 64; ++requests) {
        RDHttpBaseRequest request;
        const auto result = RDHttpRequestParser::parseHead(bytes + offset, size - offset, request, limits);
        check(result.consumed <= size - offset);
        if (result.status != RDHttpRequestParser::Status::Ok) {
            if (result.status == RDHttpRequestParser::Status::Bad)
                check(result.errorStatus >= 400 && result.errorStatus <= 599);
            break;
        }
        check(result.consumed > 0);
        check(request.contentLength() >= 0 && request.contentLength() <= limits.maxBodyBytes);

        // The same head cut anywhere before its end only ever asks for more.
        const size_t cut = (offset + static_cast<size_t>(data[offset])) % result.consumed;
        RDHttpBaseRequest partial;
        const auto early = RDHttpRequestParser::parseHead(bytes + offset, cut, partial, limits);
        check(early.status != RDHttpRequestParser::Status::Ok);

        const RDHttpQuery query = parseHttpQuery(request.target());
        (void)query;
        (void)request.toString();
        offset += result.consumed;
        const size_t body = static_cast<size_t>(request.contentLength());
        if (body > size - offset)
            break;
        request.setBody(new RDMFData);
        request.body()->write(bytes + offset, static_cast<int>(body));
        check(request.isComplete());
        check(request.readBody().size() == body);
        offset += body;
    }

    // The lenient head parser and the decoder on raw input.
    RDHttpBaseRequest raw;
    raw.parse(std::string(bytes, size));
    (void)httpUrlDecode(std::string(bytes, size));
    (void)httpMimeType(std::string(bytes, size));
    return 0;
}
