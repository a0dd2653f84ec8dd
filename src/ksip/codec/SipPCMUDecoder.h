#pragma once

#include "SipG711Decoder.h"

// G.711 mu-law, 8000 Hz mono: two PCM bytes per code byte.
class SipPCMUDecoder : public SipG711Decoder
{
public:
    SipPCMUDecoder();
    ~SipPCMUDecoder() override;
};
