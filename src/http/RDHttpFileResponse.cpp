#include "RDHttpFileResponse.h"

#include "RDHttpConnection.h"
#include "RDHttpUtils.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>

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
    long long size = 0;
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
        size = static_cast<long long>(st.st_size);
    setHeader("Content-Length", std::to_string(size));
}

void RDHttpFileResponse::send(RDHttpConnection *connection)
{
    connection->sendText(head());
    if (m_filePath.empty())
        return;
    struct stat st {};
    if (::stat(m_filePath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return; // a folder or a device is never streamed out as a file
    FILE *f = std::fopen(m_filePath.c_str(), "rb");
    if (!f)
        return;
    // Never send more than announced in Content-Length, even if the file grew.
    long long left = std::strtoll(header("Content-Length").c_str(), nullptr, 10);
    char buf[1024];
    while (left > 0 && connection->isValid()) {
        const size_t want = left < static_cast<long long>(sizeof buf) ? static_cast<size_t>(left) : sizeof buf;
        const size_t n = std::fread(buf, 1, want, f);
        if (n == 0) {
            connection->close(); // the file shrank: the announced length can no longer be met
            break;
        }
        connection->sendAll(buf, static_cast<int>(n));
        left -= static_cast<long long>(n);
    }
    std::fclose(f);
}
