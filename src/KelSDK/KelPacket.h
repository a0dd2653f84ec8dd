#pragma once

#include <cstdint>
#include <string>
#include <vector>

// One session message as the transports carry it: the message is the
// `length` bytes of `data` that begin at `offset`.
class KelPacket
{
public:
    KelPacket() = default;
    KelPacket(const void *bytes, int size);
    KelPacket(std::vector<uint8_t> bytes, int offset, int length);

    // The message bytes, or nullptr when offset/length do not lie inside data.
    const uint8_t *bytes() const;
    int size() const;
    std::string toString() const;

    std::vector<uint8_t> data;
    int32_t offset = 0;
    int32_t length = 0;
};
