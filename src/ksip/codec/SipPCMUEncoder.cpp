#include "SipPCMUEncoder.h"

SipPCMUEncoder::SipPCMUEncoder()
    : SipG711Encoder(SipG711::MuLaw)
{
}

SipPCMUEncoder::~SipPCMUEncoder() = default;
