#include "PlatformWakeup.h"

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

PlatformWakeup::PlatformWakeup() : m_fd(::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

PlatformWakeup::~PlatformWakeup()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PlatformWakeup::isValid() const
{
    return m_fd >= 0;
}

void PlatformWakeup::signal()
{
    if (m_fd < 0)
        return;
    const uint64_t one = 1;
    // A full counter (never reached in practice) is still readable: EAGAIN
    // loses nothing.
    while (::write(m_fd, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void PlatformWakeup::clear()
{
    if (m_fd < 0)
        return;
    uint64_t value = 0;
    while (::read(m_fd, &value, sizeof value) < 0 && errno == EINTR) {
    }
}

PlatformWakeup::Wait PlatformWakeup::waitReadable(int fd, int timeoutMs) const
{
    using Clock = std::chrono::steady_clock;
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        pollfd fds[2] = {{m_fd, POLLIN, 0}, {fd, POLLIN, 0}};
        const int count = m_fd >= 0 ? 2 : 1;
        pollfd *first = m_fd >= 0 ? fds : fds + 1;
        int wait = -1;
        if (timeoutMs >= 0) {
            // Rounded up: poll() never returns before the deadline then.
            const auto left = std::chrono::duration_cast<std::chrono::microseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? int((left + 999) / 1000) : 0;
        }
        const int rc = ::poll(first, nfds_t(count), wait);
        if (rc < 0) {
            if (errno == EINTR)
                continue; // a signal handler ran: wait out the rest
            return Wait::Failed;
        }
        if (m_fd >= 0 && (fds[0].revents & POLLIN))
            return Wait::Woken;
        if (fds[1].revents & POLLNVAL)
            return Wait::Failed;
        if (fds[1].revents & (POLLIN | POLLERR | POLLHUP))
            return Wait::Readable;
        if (rc == 0 && (timeoutMs >= 0 && Clock::now() >= deadline))
            return Wait::TimedOut;
    }
}
