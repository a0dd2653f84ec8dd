#pragma once

#include <cstdint>

// G.711 A-law and mu-law by tables built once from the law's definition:
// a 256-entry expansion and a 16384-entry compression table per law. The
// compression tables are indexed by the sample's 16 bits read unsigned and
// shifted right by 2.
class SipG711
{
public:
    enum Law { MuLaw, ALaw };

    static int16_t toLinear(Law law, uint8_t code) { return law == ALaw ? alawToLinear(code) : ulawToLinear(code); }
    static uint8_t fromLinear(Law law, int16_t sample)
    {
        return law == ALaw ? linearToAlaw(sample) : linearToUlaw(sample);
    }
    static int16_t ulawToLinear(uint8_t code) { return tables().ulawExpand[code]; }
    static int16_t alawToLinear(uint8_t code) { return tables().alawExpand[code]; }
    static uint8_t linearToUlaw(int16_t sample) { return tables().ulawCompress[index(sample)]; }
    static uint8_t linearToAlaw(int16_t sample) { return tables().alawCompress[index(sample)]; }

private:
    struct Tables
    {
        Tables();
        int16_t ulawExpand[256];
        int16_t alawExpand[256];
        uint8_t ulawCompress[16384];
        uint8_t alawCompress[16384];
    };
    static const Tables &tables();
    static unsigned index(int16_t sample) { return static_cast<uint16_t>(sample) >> 2; }
};
