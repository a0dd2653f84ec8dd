#include "SipPCMADecoder.h"

SipPCMADecoder::SipPCMADecoder()
    : SipG711Decoder(SipG711::ALaw)
{
}

SipPCMADecoder::~SipPCMADecoder() = default;
