#include "RDHttpBinaryResponse.h"

#include "RDData.h"
#include "RDHttpConnection.h"

RDHttpBinaryResponse::RDHttpBinaryResponse()
{
    setCrossOriginHeaders();
}

RDHttpBinaryResponse::~RDHttpBinaryResponse()
{
    delete m_data;
}

void RDHttpBinaryResponse::reset()
{
    RDHttpResponse::reset();
    delete m_data;
    m_data = nullptr;
}

void RDHttpBinaryResponse::setData(RDData *data)
{
    if (data != m_data)
        delete m_data;
    m_data = data;
}

void RDHttpBinaryResponse::send(RDHttpConnection *connection)
{
    connection->sendText(head());
    char buf[1024];
    while (m_data && connection->isValid() && !m_data->isEmpty()) {
        const int n = m_data->read(buf, sizeof buf);
        if (n < 1)
            break;
        connection->sendAll(buf, n);
    }
}
