#pragma once

#include "RDHttpResponse.h"

// Sends one file. The caller resolves the path (httpResolvePathInFolder) before
// handing it here; this class reads whatever path it is given.
class RDHttpFileResponse : public RDHttpResponse
{
public:
    RDHttpFileResponse();

    void send(RDHttpConnection *connection) override;
    void setFile(const std::string &path);
    const std::string &filePath() const { return m_filePath; }

private:
    std::string m_filePath;
};
