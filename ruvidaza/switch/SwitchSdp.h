#pragma once

#include "MediaCodec.h"

#include <string>
#include <vector>

struct sdp_message;

// The session descriptions of the switch's call legs: the offer it sends
// and the codec it takes from a peer's offer or answer.
class SwitchSdp
{
public:
    // An audio offer (or answer, with one codec) on ip:port.
    static std::string describe(const std::string &ip, int port, const std::vector<MediaCodec> &codecs,
                                unsigned long sessionId);

    // The first payload of the peer's audio line that one of `ours` can carry
    // (matched by name, clock rate and channels, case-blind; the static
    // numbers 0, 8, 9 also without an rtpmap line). The result keeps the
    // peer's payload number. Fills the peer's media address and port. False
    // when there is no audio line, no address, port 0 or nothing in common.
    static bool pick(sdp_message *peer, const std::vector<MediaCodec> &ours, MediaCodec *chosen,
                     std::string *remoteIp, int *remotePort);
};
