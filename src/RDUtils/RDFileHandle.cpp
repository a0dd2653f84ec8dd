#include "RDFileHandle.h"

bool RDFileHandle::open(const std::string &path, const char *mode)
{
    close();
    // Paths are UTF-8 and Linux takes the bytes as they are. A path with an
    // embedded zero byte would name some other file: refuse it.
    if (!mode || path.empty() || path.find('\0') != std::string::npos)
        return false;
    m_file = std::fopen(path.c_str(), mode);
    return m_file != nullptr;
}

size_t RDFileHandle::read(void *buffer, size_t itemSize, size_t count)
{
    if (!m_file)
        return 0;
    std::clearerr(m_file);
    return std::fread(buffer, itemSize, count, m_file);
}

size_t RDFileHandle::write(const void *buffer, size_t itemSize, size_t count)
{
    if (!m_file)
        return 0;
    return std::fwrite(buffer, itemSize, count, m_file);
}

void RDFileHandle::seek(long offset, int origin)
{
    if (m_file)
        std::fseek(m_file, offset, origin);
}

bool RDFileHandle::flush()
{
    return m_file && std::fflush(m_file) == 0;
}

void RDFileHandle::close()
{
    if (m_file) {
        std::fclose(m_file);
        m_file = nullptr;
    }
}
