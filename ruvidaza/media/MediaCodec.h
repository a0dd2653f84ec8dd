#pragma once

#include <string>

// One audio codec of a call leg, as negotiated in SDP: the name as it stands
// in the rtpmap line ("opus", "G722", "PCMU", "PCMA"), the payload type the
// leg carries, the RTP clock rate, the channel count and the format
// parameters (may be empty).
struct MediaCodec
{
    std::string name;
    int payloadType = -1;
    int clockRate = 0;
    int channels = 1;
    std::string fmtp;
};
