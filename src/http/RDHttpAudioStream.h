#pragma once

#include <string>

// One live audio stream published by the SIP layer under a request path.
class RDHttpAudioStream
{
public:
    virtual ~RDHttpAudioStream() = default;

    std::string path;  // compared byte for byte with the request path; empty: no stream
    std::string name;  // sent as "icy-name"
    std::string contentType = "audio/mpeg";
    int bitrate = 0;
    int sampleRate = 0;
    int metaInterval = 0; // audio bytes between two ICY metadata blocks

    bool isSameStream(const RDHttpAudioStream &other) const { return path == other.path; }
};
