#include "RDHttpTextResponse.h"

#include "RDHttpConnection.h"

RDHttpTextResponse::RDHttpTextResponse()
{
    setCrossOriginHeaders();
}

void RDHttpTextResponse::reset()
{
    RDHttpResponse::reset();
    m_text.clear();
    m_contentType.clear();
}

void RDHttpTextResponse::send(RDHttpConnection *connection)
{
    // One write for head and body: two small writes meet Nagle's algorithm
    // and the peer's delayed ACK and stall each answer by tens of milliseconds.
    connection->sendText(head() + m_text);
}

void RDHttpTextResponse::setContent(const std::string &text, const std::string &contentType)
{
    m_text = text;
    m_contentType = contentType;
    setHeader("Content-Length", std::to_string(text.size()));
    setHeader("Content-Type", contentType);
}

void RDHttpTextResponse::setJson(const std::string &text)
{
    setContent(text, "application/json;charset=UTF-8");
}

void RDHttpTextResponse::setText(const std::string &text)
{
    setContent(text, "text;charset=UTF-8");
}
