#include "WSFrame.h"

#include <random>

namespace {

uint32_t randomKey()
{
    thread_local std::mt19937 engine{std::random_device{}()};
    return engine();
}

} // namespace

WSFrame::WSFrame(int32_t op, std::vector<uint8_t> bytes)
    : opcode(op), payload(std::move(bytes)), offset(0), length(int32_t(payload.size()))
{
}

void WSFrame::reset()
{
    opcode = -1;
    payload.clear();
    offset = 0;
    length = 0;
}

std::string WSFrame::encode(int opcode, const uint8_t *payload, size_t size, bool masked)
{
    std::string out;
    out.reserve(size + 14);
    out.push_back(char(0x80 | (opcode & 0x0F)));
    const uint8_t maskBit = masked ? 0x80 : 0x00;
    if (size < 126) {
        out.push_back(char(maskBit | uint8_t(size)));
    } else if (size < 65536) {
        out.push_back(char(maskBit | 126));
        out.push_back(char((size >> 8) & 0xFF));
        out.push_back(char(size & 0xFF));
    } else {
        out.push_back(char(maskBit | 127));
        const uint64_t n = size;
        for (int shift = 56; shift >= 0; shift -= 8)
            out.push_back(char((n >> shift) & 0xFF));
    }
    uint8_t key[4] = {0, 0, 0, 0};
    if (masked) {
        const uint32_t k = randomKey();
        for (int i = 0; i < 4; ++i) {
            key[i] = uint8_t(k >> (8 * i));
            out.push_back(char(key[i]));
        }
    }
    const size_t start = out.size();
    if (size > 0 && payload)
        out.append(reinterpret_cast<const char *>(payload), size);
    if (masked) {
        for (size_t i = 0; i < size; ++i)
            out[start + i] = char(uint8_t(out[start + i]) ^ key[i & 3]);
    }
    return out;
}

std::string WSFrame::encode(int opcode, const std::string &payload, bool masked)
{
    return encode(opcode, reinterpret_cast<const uint8_t *>(payload.data()), payload.size(), masked);
}

std::string WSFrame::encodeClose(uint16_t code, const std::string &reason, bool masked)
{
    std::string body;
    body.push_back(char(code >> 8));
    body.push_back(char(code & 0xFF));
    body += reason.substr(0, 123); // control frames carry at most 125 bytes
    return encode(Close, body, masked);
}
