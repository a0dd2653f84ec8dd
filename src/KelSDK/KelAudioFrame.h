#pragma once

#include <cstdint>
#include <vector>

// One block of app audio. On the wire it is an 8-byte big-endian header
// (codec, channels, 16-bit sample rate, 32-bit timestamp) and the payload.
class KelAudioFrame
{
public:
    static constexpr int HeaderSize = 8;

    void reset();

    // Payload pointer, or nullptr when offset/length do not lie inside data.
    const uint8_t *payload() const;

    // Writes the wire form at dst + position when `capacity` (bytes available
    // from position) holds it; always returns the wire size (length + 8), so a
    // call with capacity 0 measures. Returns -1 when the frame is inconsistent
    // (offset/length outside data).
    int serialize(uint8_t *dst, int position, int capacity) const;
    // Same into a vector that already holds at least position + capacity bytes.
    int serialize(std::vector<uint8_t> &dst, int position, int capacity) const;

    // Reads a wire form of `total` bytes at src + position: the payload is
    // copied into data with offset 0. Fewer than 8 bytes leave the frame
    // unchanged and return false.
    bool parse(const uint8_t *src, int position, int total);
    // Reads from a vector: data becomes a copy of the whole vector with
    // offset position + 8. A range outside the vector is refused.
    bool parse(const std::vector<uint8_t> &src, int position, int total);

    uint32_t codec = 0;
    uint32_t channels = 0;
    uint32_t sampleRate = 0;
    uint32_t timestamp = 0;
    std::vector<uint8_t> data;
    int32_t offset = 0;
    int32_t length = 0;
};
