#pragma once

#include <sys/types.h>

namespace PaBench {

// User and system time a process has used, in seconds, from
// /proc/<pid>/stat: counted in clock ticks, the way `top` counts (coarser
// than the scheduler's own figures). -1 when the process cannot be read.
double processCpuSeconds(pid_t pid);

} // namespace PaBench
