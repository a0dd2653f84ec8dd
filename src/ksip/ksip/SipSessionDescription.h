#pragma once

#include "SipPayload.h"

struct sdp_media;

// The SDP bodies of this agent: the exact offer and answer text it writes,
// and the payload lists it reads from a peer's media descriptions.
//
// Everything read here comes from the network: every field is parsed with
// explicit bounds, and a field that does not fit is ignored rather than cut.
class SipSessionDescription
{
public:
    // Size of the buffer offers and answers are written into.
    static constexpr int kBufferSize = 4096;
    // Longest codec name and format-parameter text taken from a peer.
    static constexpr int kMaxNameLength = 63;
    static constexpr int kMaxFmtpLength = 255;

    // Writes the session, the audio media (when `audio` has entries) and the
    // video media (when `video` has entries) into `buffer`, zero-terminated.
    // Returns the length written, or -1 when the text would not fit in
    // `size` bytes (the buffer then holds an empty string; a cut body is
    // never produced).
    static int write(char *buffer, int size, const char *localIp, int audioPort, int videoPort,
                     const SipPayloadList *audio, const SipPayloadList *video);

    // The payloads of one media description, in the order of its media line,
    // with names, clock rates, channels and format parameters from its
    // rtpmap and fmtp attributes. Null without a media description. Entries
    // of the media line that are not RTP payload numbers (0..127) are
    // skipped.
    static SipPayloadList *parsePayloads(const sdp_media *media);

    // "a=rtpmap" value "<number> <name>/<rate>[/<channels>]". False, with
    // nothing stored, when it does not have that form or a field is out of
    // range (name longer than kMaxNameLength, number outside 0..127).
    static bool parseRtpmap(const char *value, int *number, char *name, int nameSize, int *rate, int *channels);
    // "a=fmtp" value "<number> <parameters>": the parameters up to the first
    // blank (so "a; b" keeps "a;"). False when the form is wrong or that word
    // is longer than kMaxFmtpLength or `size` - 1.
    static bool parseFmtp(const char *value, int *number, char *params, int size);
};
