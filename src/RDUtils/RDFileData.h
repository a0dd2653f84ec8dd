#pragma once

#include "RDData.h"
#include "RDFileHandle.h"

#include <cstdint>
#include <string>

// One file written and read at the same time through two streams. The owner
// opens both; while the writer is open more may come, so isEmpty() stays
// false. A write of length below 1 closes the writer (the data is complete).
// The destructor closes both streams; it does not delete the file.
class RDFileData : public RDData
{
public:
    RDFileData() = default;
    ~RDFileData() override;

    RDFileData(const RDFileData &) = delete;
    RDFileData &operator=(const RDFileData &) = delete;

    bool openWriter(const std::string &path, const char *mode);
    bool openReader(const std::string &path, const char *mode);

    bool isEmpty() override;
    int write(const char *data, int length) override;
    int read(char *buffer, int length) override;
    int skip(int length) override;
    int size() override;

private:
    RDFileHandle m_writer;
    int64_t m_written = 0;
    RDFileHandle m_reader;
    int64_t m_readOffset = 0;
    int64_t m_unread = 0;
};
