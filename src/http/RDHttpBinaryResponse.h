#pragma once

#include "RDHttpResponse.h"

class RDData;

class RDHttpBinaryResponse : public RDHttpResponse
{
public:
    RDHttpBinaryResponse();
    ~RDHttpBinaryResponse() override;

    void reset() override;
    void send(RDHttpConnection *connection) override;

    // Takes ownership of `data`.
    void setData(RDData *data);

private:
    RDData *m_data = nullptr;
};
