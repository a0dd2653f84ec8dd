#pragma once

#include "RDHttpRequest.h"

class RDData;

// The request the server hands to its observer: the parsed head plus its body.
class RDHttpBaseRequest : public RDHttpRequest
{
public:
    RDHttpBaseRequest() = default;
    ~RDHttpBaseRequest() override;

    void reset() override {}
    void clearBody() override {}

    // Takes ownership of `body` (replacing any earlier one).
    void setBody(RDData *body);
    RDData *body() const { return m_body; }

    // True once the head is parsed and the body holds exactly contentLength bytes.
    bool isComplete() const;
    // The whole remaining body; reading consumes it.
    std::string readBody();

private:
    RDData *m_body = nullptr;
};
