#include "RDHttpBaseRequest.h"

#include "RDData.h"

RDHttpBaseRequest::~RDHttpBaseRequest()
{
    delete m_body;
}

void RDHttpBaseRequest::setBody(RDData *body)
{
    if (body != m_body)
        delete m_body;
    m_body = body;
}

bool RDHttpBaseRequest::isComplete() const
{
    if (m_method.empty())
        return false;
    if (m_contentLength == 0)
        return true;
    if (m_contentLength < 0 || !m_body)
        return false;
    return static_cast<int64_t>(m_body->size()) == m_contentLength;
}

std::string RDHttpBaseRequest::readBody()
{
    std::string out;
    if (!m_body)
        return out;
    char buf[1024];
    while (!m_body->isEmpty()) {
        const int n = m_body->read(buf, sizeof buf);
        if (n < 1)
            break;
        out.append(buf, static_cast<size_t>(n));
    }
    return out;
}
