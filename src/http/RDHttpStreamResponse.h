#pragma once

#include "RDHttpResponse.h"

// The head of an ICY (SHOUTcast-style) audio stream; the server writes the
// audio itself after this head.
class RDHttpStreamResponse : public RDHttpResponse
{
public:
    RDHttpStreamResponse();

    // Writes the head only: the body of a live stream is pumped by the server.
    void send(RDHttpConnection *connection) override;

    void setBitrate(int bitrate);
    void setSampleRate(int sampleRate);
    void setName(const std::string &name);
    void setMetaInterval(int interval);
    void setPublic(int isPublic);

    int metaInterval() const { return m_metaInterval; }

private:
    int m_metaInterval = 8192;
};
