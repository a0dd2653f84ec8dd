#pragma once

#include "RDHttpBaseRequest.h"
#include "RDHttpResponse.h"

class RDHttpBinaryResponse : public RDHttpResponse
{
public:
    RDHttpBinaryResponse();
    ~RDHttpBinaryResponse() override;

    void reset() override;
    void send(RDHttpConnection *connection) override;

    // Takes ownership of `data`.
    void setData(RDHttpBody *data);

private:
    RDHttpBody *m_data = nullptr;
};
