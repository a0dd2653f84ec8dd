#include "SipPCMAEncoder.h"

SipPCMAEncoder::SipPCMAEncoder()
    : SipG711Encoder(SipG711::ALaw)
{
}

SipPCMAEncoder::~SipPCMAEncoder() = default;
