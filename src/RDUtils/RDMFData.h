#pragma once

#include "RDData.h"

#include <string>

class RDMemoryData;
class RDFileData;

// Bytes kept in memory first and moved to a file once the memory block
// grows past a limit. The move happens at most once. The file is created
// only if no file exists at the path (so two objects never share one, and a
// file this object did not make is never overwritten); when it cannot be
// created the bytes stay in memory. The destructor deletes the file only
// when this object created it.
class RDMFData : public RDData
{
public:
    static constexpr int kInitialCapacity = 4096;

    RDMFData();
    RDMFData(const std::string &path, int limit);
    ~RDMFData() override;

    RDMFData(const RDMFData &) = delete;
    RDMFData &operator=(const RDMFData &) = delete;

    bool isEmpty() override;
    int write(const char *data, int length) override;
    int read(char *buffer, int length) override;
    int skip(int length) override;
    int size() override;

    // True once the bytes live in the file.
    bool isSpilled() const { return m_file != nullptr; }

private:
    void spill();

    std::string m_path;
    int m_limit = 0;
    RDMemoryData *m_memory = nullptr;
    RDFileData *m_file = nullptr;
    bool m_createdFile = false;
    bool m_spillFailed = false;
};
