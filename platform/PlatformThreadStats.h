#pragma once

#include <string>
#include <vector>

// Scheduler counters of this process's own threads, for benchmarks and for
// tests that check a thread sleeps while it has nothing to do.
namespace Platform {

struct ThreadCounters {
    std::string id;   // the thread's id
    std::string name; // the name it was given (at most 15 bytes)
    double cpuSeconds = 0;
    // Times the thread went to sleep and was woken again (voluntary
    // context switches).
    long wakeUps = 0;
};

// The threads of this process named `name`; with `prefix`, every thread
// whose name begins with it (an empty prefix: all of them).
std::vector<ThreadCounters> threadsNamed(const std::string &name, bool prefix = false);

} // namespace Platform
