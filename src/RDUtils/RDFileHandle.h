#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

// Holds one C file stream. It does not close the stream by itself: the owner
// calls close(). read, write, seek and flush on a holder without a stream do
// nothing and give 0.
class RDFileHandle
{
public:
    // Opens a UTF-8 path with a C open mode ("rb", "wb", "wbx", ...); true
    // when opened. A stream held before is closed first.
    bool open(const std::string &path, const char *mode);
    bool isOpen() const { return m_file != nullptr; }
    // Clears a sticky end-of-file first, so a reader sees what a second
    // stream appended to the same file after an earlier read hit the end.
    size_t read(void *buffer, size_t itemSize, size_t count);
    size_t write(const void *buffer, size_t itemSize, size_t count);
    void seek(long offset, int origin);
    // Hands buffered writes to the OS, so another stream on the file sees
    // them; true on success.
    bool flush();
    void close();

private:
    FILE *m_file = nullptr;
};
