#pragma once

#include <cstdint>
#include <string>
#include <vector>

// File helpers on UTF-8 paths.

struct RDDirEntry
{
    std::string path; // directory and name joined with joinPath
    std::string name;
    bool isDirectory = false;
};

struct RDFileStatus
{
    int64_t size = 0;
    int64_t accessTime = 0; // seconds since 1970-01-01 UTC
    int64_t modifyTime = 0;
    int64_t changeTime = 0;
};

// True when the path exists; then sets isDirectory (left unchanged otherwise).
bool pathExists(const std::string &path, bool &isDirectory);
// 0 on success with the status filled; non-zero with all fields 0 otherwise.
int fileStat(const std::string &path, RDFileStatus &status);
// Size in bytes (64-bit), 0 when the file cannot be opened.
int64_t fileSize(const std::string &path);
// Every entry of the directory except "." and ".." (names without a dot and
// hidden names included), in the order the system gives them. Empty for an
// empty path or a directory that cannot be read.
std::vector<RDDirEntry> listDirectory(const std::string &path);
// Deletes a file; true on success.
bool removeUtf8File(const std::string &path);
