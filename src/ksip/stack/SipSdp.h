#pragma once

#include <string>

struct sdp_message;
struct sdp_media;
struct sdp_connection;
struct osip_message;

// Small helpers over oSIP's SDP tree. Every returned pointer points into the
// given message and lives as long as it does.
class SipSdp
{
public:
    // Parses the first application/sdp body of a SIP message. Null when the
    // message has no such body or it does not parse. The caller frees the
    // result with sdp_message_free.
    static sdp_message *fromMessage(const osip_message *message);

    // Parses SDP text. Null on a parse error. Free with sdp_message_free.
    static sdp_message *parse(const std::string &text);

    // The first "m=audio" / "m=video" description, or null.
    static sdp_media *audioMedia(sdp_message *sdp);
    static sdp_media *videoMedia(sdp_message *sdp);

    // The connection of the first audio / video description: its own "c="
    // line, else the session's. Null when neither exists.
    static sdp_connection *audioConnection(sdp_message *sdp);
    static sdp_connection *videoConnection(sdp_message *sdp);

    // The port of a media description as a number: 0 when it is missing or
    // not a number in 0..65535.
    static int mediaPort(const sdp_media *media);
};
