#include "RDHttpStreamResponse.h"

#include "RDHttpConnection.h"

RDHttpStreamResponse::RDHttpStreamResponse()
{
    setCrossOriginHeaders();
    setHeader("Accept-Ranges", "none");
    setHeader("Content-Type", "audio/mpeg");
}

void RDHttpStreamResponse::send(RDHttpConnection *connection)
{
    connection->sendText(head());
}

void RDHttpStreamResponse::setBitrate(int bitrate)
{
    setHeader("icy-br", std::to_string(bitrate));
}

void RDHttpStreamResponse::setSampleRate(int sampleRate)
{
    setHeader("icy-sr", std::to_string(sampleRate));
}

void RDHttpStreamResponse::setName(const std::string &name)
{
    setHeader("icy-name", name);
}

void RDHttpStreamResponse::setMetaInterval(int interval)
{
    m_metaInterval = interval;
    setHeader("icy-metaint", std::to_string(interval));
}

void RDHttpStreamResponse::setPublic(int isPublic)
{
    setHeader("icy-pub", std::to_string(isPublic));
}
