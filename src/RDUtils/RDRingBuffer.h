#pragma once

// A fixed-size byte ring that keeps the newest bytes: a write into a full
// ring overwrites the oldest bytes, and a write longer than the capacity
// keeps only its last `capacity` bytes.
class RDRingBuffer
{
public:
    explicit RDRingBuffer(int capacity);
    ~RDRingBuffer();

    RDRingBuffer(const RDRingBuffer &) = delete;
    RDRingBuffer &operator=(const RDRingBuffer &) = delete;

    int size() const { return m_stored; }
    int capacity() const { return m_capacity; }
    // Copies up to length of the oldest bytes; the count.
    int read(char *buffer, int length);
    // Stores the bytes; always returns length (0 for a length below 1).
    int write(const char *data, int length);

private:
    char *m_buffer = nullptr;
    int m_readPos = 0;
    int m_stored = 0;
    int m_capacity = 0;
};
