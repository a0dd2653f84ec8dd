#pragma once

#include "WSFrameParser.h"

#include <cstddef>
#include <cstdint>
#include <vector>

// Joins data frames into messages and passes control frames through
// (RFC 6455 section 5.4: control frames may arrive between the fragments of a
// message). Caps the size of one message and checks that text messages are
// UTF-8 (section 8.1).
class WSMessageAssembler
{
public:
    enum class Kind { None, Message, Control, Bad };

    struct Event {
        Kind kind = Kind::None;
        int opcode = -1;
        std::vector<uint8_t> payload;
        uint16_t closeCode = 0; // with Bad
    };

    explicit WSMessageAssembler(size_t maxMessage = 256 * 1024);

    // One parsed frame in; Message when a data message is complete, Control
    // for ping, pong and close, None while fragments gather or for a frame of
    // a reserved opcode (ignored), Bad with the close status otherwise.
    Event add(WSFrameParser::Frame &&frame);
    void reset();

    static bool isValidUtf8(const uint8_t *data, size_t size);

private:
    size_t m_maxMessage;
    bool m_open = false;
    int m_opcode = -1;
    std::vector<uint8_t> m_payload;
};
