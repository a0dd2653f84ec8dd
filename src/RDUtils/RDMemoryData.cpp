#include "RDMemoryData.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

RDMemoryData::RDMemoryData(int capacity)
{
    setCapacity(capacity);
}

RDMemoryData::~RDMemoryData()
{
    delete[] m_block;
}

bool RDMemoryData::isEmpty()
{
    return m_unread == 0;
}

int RDMemoryData::setCapacity(int capacity)
{
    // Callers parse from data(): keep the unread bytes at the start of the
    // new block even when the read offset was not yet reclaimed.
    char *block = capacity >= 1 ? new char[static_cast<size_t>(capacity)] : nullptr;
    if (m_unread > capacity)
        m_unread = std::max(capacity, 0);
    if (block && m_block && m_unread > 0)
        std::memcpy(block, m_block + m_readOffset, static_cast<size_t>(m_unread));
    delete[] m_block;
    m_block = block;
    m_readOffset = 0;
    m_capacity = std::max(capacity, 0);
    return m_capacity;
}

int RDMemoryData::write(const char *data, int length)
{
    if (length < 1 || !data)
        return 0;
    // 64-bit sums: the doubling of a 32-bit capacity past 1 GiB would wrap.
    const int64_t needed = static_cast<int64_t>(m_unread) + length;
    if (needed > kMaxCapacity)
        return 0;
    if (m_readOffset > 0 && m_readOffset + needed > m_capacity) {
        std::memmove(m_block, m_block + m_readOffset, static_cast<size_t>(m_unread));
        m_readOffset = 0;
    }
    if (m_readOffset + needed > m_capacity) {
        int64_t grown = m_capacity <= 4 ? 4 : static_cast<int64_t>(m_capacity) * 2;
        while (grown < needed)
            grown *= 2;
        setCapacity(static_cast<int>(std::min<int64_t>(grown, kMaxCapacity)));
    }
    std::memcpy(m_block + m_readOffset + m_unread, data, static_cast<size_t>(length));
    m_unread += length;
    return length;
}

int RDMemoryData::read(char *buffer, int length)
{
    if (length < 1 || !buffer)
        return 0;
    const int m = std::min(m_unread, length);
    if (m > 0)
        std::memcpy(buffer, m_block + m_readOffset, static_cast<size_t>(m));
    m_readOffset += m;
    m_unread -= m;
    return m;
}

int RDMemoryData::skip(int length)
{
    if (length < 1)
        return 0;
    const int m = std::min(m_unread, length);
    m_readOffset += m;
    m_unread -= m;
    return m;
}

int RDMemoryData::size()
{
    return m_unread;
}
