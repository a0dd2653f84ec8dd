#include "PlatformProcessExit.h"

#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

PlatformProcessExit::PlatformProcessExit(qint64 pid)
    : m_fd(pid > 0 ? int(::syscall(SYS_pidfd_open, pid_t(pid), 0)) : -1)
{
    // The descriptor stays with this process: a switch started later must
    // not inherit it.
    if (m_fd >= 0)
        ::fcntl(m_fd, F_SETFD, FD_CLOEXEC);
}

PlatformProcessExit::~PlatformProcessExit()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PlatformProcessExit::isValid() const
{
    return m_fd >= 0;
}

int PlatformProcessExit::handle() const
{
    return m_fd;
}
