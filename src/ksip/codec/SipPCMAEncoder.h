#pragma once

#include "SipG711Encoder.h"

// G.711 A-law, 8000 Hz mono: one byte per sample.
class SipPCMAEncoder : public SipG711Encoder
{
public:
    SipPCMAEncoder();
    ~SipPCMAEncoder() override;
};
