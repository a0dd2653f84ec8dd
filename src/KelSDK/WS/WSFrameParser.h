#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Reads one WebSocket frame (RFC 6455 section 5.2) from the front of a
// byte buffer. The parser keeps no state: a caller appends received bytes,
// calls parse, and drops `consumed` bytes after Ok. Partial input is never
// an error; a frame that breaks the protocol or a cap is Bad with the close
// status to send (section 7.4.1).
class WSFrameParser
{
public:
    enum class Status { Ok, NeedMore, Bad };

    struct Frame {
        bool fin = false;
        int opcode = 0;
        bool masked = false;
        std::vector<uint8_t> payload; // unmasked
    };

    struct Result {
        Status status = Status::NeedMore;
        size_t consumed = 0;      // bytes of the frame, valid with Ok
        uint16_t closeCode = 0;   // valid with Bad
    };

    // Close status codes of RFC 6455 section 7.4.1.
    static constexpr uint16_t CloseNormal = 1000;
    static constexpr uint16_t CloseProtocolError = 1002;
    static constexpr uint16_t CloseInvalidPayload = 1007;
    static constexpr uint16_t CloseTooBig = 1009;

    // `maxPayload`: largest payload one frame may announce. `requireMask`:
    // frames from a client must be masked (section 5.1).
    explicit WSFrameParser(size_t maxPayload = 256 * 1024, bool requireMask = true);

    Result parse(const uint8_t *data, size_t size, Frame &out) const;

    size_t maxPayload() const { return m_maxPayload; }

private:
    size_t m_maxPayload;
    bool m_requireMask;
};
