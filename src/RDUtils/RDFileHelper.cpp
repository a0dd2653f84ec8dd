#include "RDFileHelper.h"

#include "RDStringHelper.h"

#include <cstdio>
#include <dirent.h>
#include <sys/stat.h>

namespace {
bool usablePath(const std::string &path)
{
    return !path.empty() && path.find('\0') == std::string::npos;
}
} // namespace

bool pathExists(const std::string &path, bool &isDirectory)
{
    struct stat st;
    if (!usablePath(path) || ::stat(path.c_str(), &st) != 0)
        return false;
    isDirectory = S_ISDIR(st.st_mode);
    return true;
}

int fileStat(const std::string &path, RDFileStatus &status)
{
    status = RDFileStatus();
    struct stat st;
    if (!usablePath(path))
        return -1;
    const int rc = ::stat(path.c_str(), &st);
    if (rc != 0)
        return rc;
    status.size = st.st_size;
    status.accessTime = st.st_atime;
    status.modifyTime = st.st_mtime;
    status.changeTime = st.st_ctime;
    return 0;
}

int64_t fileSize(const std::string &path)
{
    if (!usablePath(path))
        return 0;
    FILE *f = std::fopen(path.c_str(), "rb");
    if (!f)
        return 0;
    int64_t size = 0;
    if (fseeko(f, 0, SEEK_END) == 0) {
        const off_t pos = ftello(f);
        size = pos < 0 ? 0 : static_cast<int64_t>(pos);
    }
    std::fclose(f);
    return size;
}

std::vector<RDDirEntry> listDirectory(const std::string &path)
{
    std::vector<RDDirEntry> entries;
    if (!usablePath(path))
        return entries;
    DIR *dir = ::opendir(path.c_str());
    if (!dir)
        return entries;
    while (const dirent *d = ::readdir(dir)) {
        const std::string name = d->d_name;
        if (name == "." || name == "..")
            continue;
        RDDirEntry e;
        e.name = name;
        e.path = joinPath(path, name);
        if (d->d_type == DT_DIR) {
            e.isDirectory = true;
        } else if (d->d_type == DT_UNKNOWN || d->d_type == DT_LNK) {
            struct stat st;
            e.isDirectory = ::stat(e.path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        }
        entries.push_back(e);
    }
    ::closedir(dir);
    return entries;
}

bool removeUtf8File(const std::string &path)
{
    return usablePath(path) && std::remove(path.c_str()) == 0;
}
