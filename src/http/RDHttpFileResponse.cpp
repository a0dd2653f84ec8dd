#include "RDHttpFileResponse.h"

#include "RDHttpConnection.h"
#include "RDHttpUtils.h"

#include "RDFileHandle.h"
#include "RDFileHelper.h"

#include <cstdlib>

RDHttpFileResponse::RDHttpFileResponse()
{
    setCrossOriginHeaders();
}

void RDHttpFileResponse::setFile(const std::string &path)
{
    m_filePath = path;
    if (path.empty())
        return;
    const size_t slash = path.rfind('/');
    setContentType(httpMimeType(slash == std::string::npos ? path : path.substr(slash)));
    bool isDirectory = false;
    const bool exists = pathExists(path, isDirectory);
    // A folder has no bytes to send: announce none rather than its inode size.
    setHeader("Content-Length", std::to_string(exists && !isDirectory ? fileSize(path) : 0));
}

void RDHttpFileResponse::send(RDHttpConnection *connection)
{
    connection->sendText(head());
    if (m_filePath.empty())
        return;
    bool isDirectory = false;
    if (!pathExists(m_filePath, isDirectory) || isDirectory)
        return; // a folder is never streamed out as a file
    RDFileHandle file;
    if (!file.open(m_filePath, "rb"))
        return;
    // Never send more than announced in Content-Length, even if the file grew.
    long long left = std::strtoll(header("Content-Length").c_str(), nullptr, 10);
    char buf[1024];
    while (left > 0 && connection->isValid()) {
        const size_t want = left < static_cast<long long>(sizeof buf) ? static_cast<size_t>(left) : sizeof buf;
        const size_t n = file.read(buf, 1, want);
        if (n == 0) {
            connection->close(); // the file shrank: the announced length can no longer be met
            break;
        }
        connection->sendAll(buf, static_cast<int>(n));
        left -= static_cast<long long>(n);
    }
    file.close();
}
