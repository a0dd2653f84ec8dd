#include "RDFileData.h"

#include <algorithm>
#include <climits>

RDFileData::~RDFileData()
{
    m_writer.close();
    m_reader.close();
}

bool RDFileData::openWriter(const std::string &path, const char *mode)
{
    return m_writer.open(path, mode);
}

bool RDFileData::openReader(const std::string &path, const char *mode)
{
    return m_reader.open(path, mode);
}

bool RDFileData::isEmpty()
{
    if (m_writer.isOpen())
        return false;
    return m_unread < 1;
}

int RDFileData::write(const char *data, int length)
{
    if (!m_writer.isOpen())
        return 0;
    if (length < 1 || !data) {
        m_writer.close();
        return 0;
    }
    const size_t n = m_writer.write(data, 1, static_cast<size_t>(length));
    // The reader is a second stream on the file: without the flush it would
    // not see the tail that is still in the writer's buffer.
    m_writer.flush();
    if (n < 1)
        return 0;
    m_written += static_cast<int64_t>(n);
    m_unread += static_cast<int64_t>(n);
    return static_cast<int>(n);
}

int RDFileData::read(char *buffer, int length)
{
    if (!m_reader.isOpen() || m_unread < 1 || length < 1 || !buffer)
        return 0;
    const size_t want = static_cast<size_t>(std::min<int64_t>(length, m_unread));
    const size_t n = m_reader.read(buffer, 1, want);
    if (n < 1)
        return 0;
    m_readOffset += static_cast<int64_t>(n);
    m_unread -= static_cast<int64_t>(n);
    return static_cast<int>(n);
}

int RDFileData::skip(int length)
{
    if (!m_reader.isOpen() || m_unread < 1 || length < 1)
        return 0;
    const int64_t m = std::min<int64_t>(length, m_unread);
    m_reader.seek(static_cast<long>(m), SEEK_CUR);
    m_readOffset += m;
    m_unread -= m;
    return static_cast<int>(m);
}

int RDFileData::size()
{
    return static_cast<int>(std::min<int64_t>(m_unread, INT_MAX));
}
