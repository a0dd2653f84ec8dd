#pragma once

#include "SipG711Decoder.h"

// G.711 A-law, 8000 Hz mono: two PCM bytes per code byte.
class SipPCMADecoder : public SipG711Decoder
{
public:
    SipPCMADecoder();
    ~SipPCMADecoder() override;
};
