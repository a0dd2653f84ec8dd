#include "RDRingBuffer.h"

#include <algorithm>
#include <cstring>

RDRingBuffer::RDRingBuffer(int capacity)
    : m_capacity(std::max(capacity, 0))
{
    if (m_capacity > 0)
        m_buffer = new char[static_cast<size_t>(m_capacity)];
}

RDRingBuffer::~RDRingBuffer()
{
    delete[] m_buffer;
}

int RDRingBuffer::read(char *buffer, int length)
{
    if (length < 1 || !buffer || m_stored == 0)
        return 0;
    const int m = std::min(m_stored, length);
    const int first = std::min(m, m_capacity - m_readPos);
    std::memcpy(buffer, m_buffer + m_readPos, static_cast<size_t>(first));
    if (m > first)
        std::memcpy(buffer + first, m_buffer, static_cast<size_t>(m - first));
    m_readPos = (m_readPos + m) % m_capacity;
    m_stored -= m;
    return m;
}

int RDRingBuffer::write(const char *data, int length)
{
    if (length < 1 || !data)
        return 0;
    if (m_capacity == 0)
        return length;
    if (length >= m_capacity) {
        // Only the newest `capacity` bytes can be kept.
        std::memcpy(m_buffer, data + (length - m_capacity), static_cast<size_t>(m_capacity));
        m_readPos = 0;
        m_stored = m_capacity;
        return length;
    }
    const int w = static_cast<int>((static_cast<long long>(m_readPos) + m_stored) % m_capacity);
    const int first = std::min(length, m_capacity - w);
    std::memcpy(m_buffer + w, data, static_cast<size_t>(first));
    if (length > first)
        std::memcpy(m_buffer, data + first, static_cast<size_t>(length - first));
    if (m_stored + length > m_capacity) {
        m_readPos = (w + length) % m_capacity;
        m_stored = m_capacity;
    } else {
        m_stored += length;
    }
    return length;
}
