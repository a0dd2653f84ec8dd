#include "SipG711.h"

namespace {

// mu-law: 14-bit linear magnitude plus a bias of 33 picks the segment (the
// position of the top bit) and four mantissa bits; the code is inverted.
uint8_t ulawFrom14(int value)
{
    uint8_t mask = 0xFF;
    if (value < 0) {
        value = -value;
        mask = 0x7F;
    }
    if (value > 8158) {
        value = 8158;
    }
    value += 33;
    int segment = 0;
    for (int v = value >> 6; v != 0; v >>= 1) {
        ++segment;
    }
    const int mantissa = (value >> (segment + 1)) & 0x0F;
    return static_cast<uint8_t>(((segment << 4) | mantissa) ^ mask);
}

int16_t ulawTo16(uint8_t code)
{
    const int u = static_cast<uint8_t>(~code);
    const int segment = (u >> 4) & 0x07;
    const int mantissa = u & 0x0F;
    const int magnitude = (((mantissa << 3) + 0x84) << segment) - 0x84;
    return static_cast<int16_t>((u & 0x80) ? -magnitude : magnitude);
}

// A-law: 13-bit linear magnitude; segment 0 and 1 share the step size; the
// code has its even bits inverted (0x55) and the sign bit set for positive.
uint8_t alawFrom13(int value)
{
    uint8_t mask = 0xD5;
    if (value < 0) {
        value = -value - 1;
        mask = 0x55;
    }
    if (value > 4095) {
        value = 4095;
    }
    int segment = 0;
    for (int v = value >> 5; v != 0; v >>= 1) {
        ++segment;
    }
    const int mantissa = segment == 0 ? (value >> 1) & 0x0F : (value >> segment) & 0x0F;
    return static_cast<uint8_t>(((segment << 4) | mantissa) ^ mask);
}

int16_t alawTo16(uint8_t code)
{
    const int a = code ^ 0x55;
    const int segment = (a >> 4) & 0x07;
    const int mantissa = a & 0x0F;
    int magnitude = (mantissa << 4) + 8;
    if (segment > 0) {
        magnitude = ((mantissa << 4) + 0x108) << (segment - 1);
    }
    return static_cast<int16_t>((a & 0x80) ? magnitude : -magnitude);
}

} // namespace

SipG711::Tables::Tables()
{
    for (int code = 0; code < 256; ++code) {
        ulawExpand[code] = ulawTo16(static_cast<uint8_t>(code));
        alawExpand[code] = alawTo16(static_cast<uint8_t>(code));
    }
    for (int i = 0; i < 16384; ++i) {
        // The index is the sample's top 14 bits; read them as signed.
        const int value14 = i >= 8192 ? i - 16384 : i;
        ulawCompress[i] = ulawFrom14(value14);
        alawCompress[i] = alawFrom13(value14 >> 1);
    }
}

const SipG711::Tables &SipG711::tables()
{
    static const Tables t;
    return t;
}
