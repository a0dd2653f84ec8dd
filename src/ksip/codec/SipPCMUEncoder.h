#pragma once

#include "SipG711Encoder.h"

// G.711 mu-law, 8000 Hz mono: one byte per sample.
class SipPCMUEncoder : public SipG711Encoder
{
public:
    SipPCMUEncoder();
    ~SipPCMUEncoder() override;
};
