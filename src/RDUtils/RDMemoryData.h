#pragma once

#include "RDData.h"

// A growable block in memory. Growth doubles the block; it stops at
// kMaxCapacity, and a write that would need more stores nothing and gives 0.
class RDMemoryData : public RDData
{
public:
    static constexpr int kMaxCapacity = 0x7FFFFFFF;

    explicit RDMemoryData(int capacity);
    ~RDMemoryData() override;

    RDMemoryData(const RDMemoryData &) = delete;
    RDMemoryData &operator=(const RDMemoryData &) = delete;

    bool isEmpty() override;
    int write(const char *data, int length) override;
    int read(char *buffer, int length) override;
    int skip(int length) override;
    int size() override;

    // Reallocates the block to `capacity` bytes, keeping the first unread
    // bytes that fit at its start; the new capacity.
    int setCapacity(int capacity);
    int capacity() const { return m_capacity; }
    // The first unread byte, so a caller can parse in place and skip what
    // it used; null while there is no block.
    char *data() { return m_block ? m_block + m_readOffset : nullptr; }

private:
    char *m_block = nullptr;
    int m_capacity = 0;
    int m_unread = 0;
    int m_readOffset = 0;
};
