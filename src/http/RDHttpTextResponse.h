#pragma once

#include "RDHttpResponse.h"

class RDHttpTextResponse : public RDHttpResponse
{
public:
    RDHttpTextResponse();

    void reset() override;
    void send(RDHttpConnection *connection) override;

    void setContent(const std::string &text, const std::string &contentType);
    void setJson(const std::string &text);
    void setText(const std::string &text);

    const std::string &text() const { return m_text; }
    const std::string &contentType() const { return m_contentType; }

private:
    std::string m_text;
    std::string m_contentType;
};
