#include "PlatformThreadStats.h"

#include <dirent.h>

#include <fstream>

namespace Platform {

std::vector<ThreadCounters> threadsNamed(const std::string &name, bool prefix)
{
    std::vector<ThreadCounters> threads;
    DIR *dir = ::opendir("/proc/self/task");
    if (!dir)
        return threads;
    while (dirent *e = ::readdir(dir)) {
        if (e->d_name[0] == '.')
            continue;
        const std::string base = std::string("/proc/self/task/") + e->d_name;
        ThreadCounters t;
        t.id = e->d_name;
        std::getline(std::ifstream(base + "/comm"), t.name);
        if (prefix ? t.name.compare(0, name.size(), name) != 0 : t.name != name)
            continue;
        double ns = 0;
        std::ifstream(base + "/schedstat") >> ns;
        t.cpuSeconds = ns / 1e9;
        std::ifstream status(base + "/status");
        for (std::string line; std::getline(status, line);) {
            static const std::string key = "voluntary_ctxt_switches:";
            if (line.compare(0, key.size(), key) == 0) {
                t.wakeUps = std::stol(line.substr(key.size()));
                break;
            }
        }
        threads.push_back(std::move(t));
    }
    ::closedir(dir);
    return threads;
}

} // namespace Platform
