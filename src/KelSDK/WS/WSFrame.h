#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One queued or received WebSocket message (RFC 6455), and the encoder for
// the frames this side sends.
class WSFrame
{
public:
    enum Opcode : int32_t {
        Continuation = 0,
        Text = 1,
        Binary = 2,
        Close = 8,
        Ping = 9,
        Pong = 10,
    };

    WSFrame() = default;
    WSFrame(int32_t op, std::vector<uint8_t> bytes);

    void reset();

    // One unfragmented frame (FIN set) carrying `size` payload bytes. With
    // `masked` a fresh random 4-byte key is drawn and the payload XORed with it
    // (RFC 6455 section 5.3). Lengths use the shortest form of section 5.2.
    static std::string encode(int opcode, const uint8_t *payload, size_t size, bool masked);
    static std::string encode(int opcode, const std::string &payload, bool masked);

    // A close frame with a status code and optional reason (section 5.5.1).
    static std::string encodeClose(uint16_t code, const std::string &reason, bool masked);

    int32_t opcode = -1;
    std::vector<uint8_t> payload;
    int32_t offset = 0;
    int32_t length = 0;
};
