// Feeds arbitrary bytes through the WebSocket frame parser and the message
// assembler the way a session's read loop does: append, parse, drop the
// consumed bytes, hand frames on, stop at the first refusal.
#include "WSFrameParser.h"
#include "WSMessageAssembler.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Small caps so the fuzzer reaches the limits quickly.
    for (bool requireMask : {true, false}) {
        WSFrameParser parser(4096, requireMask);
        WSMessageAssembler assembler(8192);
        size_t pos = 0;
        // Feed in chunks of growing size to exercise partial input.
        size_t avail = 1;
        while (pos < size) {
            const size_t have = (size - pos < avail) ? size - pos : avail;
            WSFrameParser::Frame frame;
            const WSFrameParser::Result r = parser.parse(data + pos, have, frame);
            if (r.status == WSFrameParser::Status::Bad)
                break;
            if (r.status == WSFrameParser::Status::NeedMore) {
                if (have == size - pos)
                    break;
                avail = avail * 2 + 1;
                continue;
            }
            if (r.consumed == 0 || r.consumed > have)
                __builtin_trap();
            pos += r.consumed;
            const WSMessageAssembler::Event ev = assembler.add(std::move(frame));
            if (ev.kind == WSMessageAssembler::Kind::Bad)
                break;
            if (ev.kind == WSMessageAssembler::Kind::Message && ev.payload.size() > 8192)
                __builtin_trap();
        }
    }
    return 0;
}
