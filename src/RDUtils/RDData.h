#pragma once

// An abstract byte source and sink: bytes are appended with write and taken
// in the same order with read or skip. Made with new, deleted through this
// base by the owner.
class RDData
{
public:
    virtual ~RDData() = default;

    // Nothing left to read (and, for a file, nothing more will come).
    virtual bool isEmpty() = 0;
    // Appends bytes; the count stored.
    virtual int write(const char *data, int length) = 0;
    // Takes up to length unread bytes; the count taken.
    virtual int read(char *buffer, int length) = 0;
    // Drops up to length unread bytes; the count dropped.
    virtual int skip(int length) = 0;
    // Unread bytes.
    virtual int size() = 0;
};
