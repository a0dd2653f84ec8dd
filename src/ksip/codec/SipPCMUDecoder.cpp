#include "SipPCMUDecoder.h"

SipPCMUDecoder::SipPCMUDecoder()
    : SipG711Decoder(SipG711::MuLaw)
{
}

SipPCMUDecoder::~SipPCMUDecoder() = default;
