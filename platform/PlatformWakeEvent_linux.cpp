#include "PlatformWakeEvent.h"

#include <cerrno>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

PlatformWakeEvent::PlatformWakeEvent() : m_handle(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

PlatformWakeEvent::~PlatformWakeEvent()
{
    if (m_handle >= 0)
        ::close(m_handle);
}

void PlatformWakeEvent::signal()
{
    const uint64_t one = 1;
    // A full counter (never reached in practice) is already signalled.
    [[maybe_unused]] const ssize_t n = ::write(m_handle, &one, sizeof one);
}

void PlatformWakeEvent::clear()
{
    uint64_t value = 0;
    [[maybe_unused]] const ssize_t n = ::read(m_handle, &value, sizeof value);
}

bool PlatformWakeEvent::isSignalled() const
{
    pollfd p{m_handle, POLLIN, 0};
    return ::poll(&p, 1, 0) > 0;
}

PlatformWakeEvent::Wait PlatformWakeEvent::waitFor(int fd, bool forWrite, int timeoutMs) const
{
    if (fd < 0 || m_handle < 0)
        return Wait::Failed;
    pollfd p[2] = {{m_handle, POLLIN, 0}, {fd, short(forWrite ? POLLOUT : POLLIN), 0}};
    int rc;
    do {
        rc = ::poll(p, 2, timeoutMs < 0 ? -1 : timeoutMs);
    } while (rc < 0 && errno == EINTR);
    if (rc < 0)
        return Wait::Failed;
    if (rc == 0)
        return Wait::TimedOut;
    if (p[0].revents & POLLIN)
        return Wait::Woken;
    if (p[1].revents & POLLNVAL)
        return Wait::Failed;
    return Wait::Ready;
}
