#pragma once

// A wake-up descriptor for a thread that waits in poll(): another thread
// calls signal() and the wait returns at once, however long its time-out.
// The signal stays set until the waiting thread calls clear(), so one given
// just before the wait begins is not lost.
class PlatformWakeEvent
{
public:
    enum class Wait { Ready, Woken, TimedOut, Failed };

    PlatformWakeEvent();
    ~PlatformWakeEvent();
    PlatformWakeEvent(const PlatformWakeEvent &) = delete;
    PlatformWakeEvent &operator=(const PlatformWakeEvent &) = delete;

    bool isValid() const { return m_handle >= 0; }
    // The descriptor to put beside others in a poll set (readable while set).
    int handle() const { return m_handle; }
    void signal();
    void clear();
    bool isSignalled() const;

    // Waits until `fd` is readable (or writable with `forWrite`), this event
    // is signalled, or `timeoutMs` passes (below 0: no limit). A peer's
    // hang-up or a socket error counts as ready, so the caller's next call
    // reports it. The event wins when both happen.
    Wait waitFor(int fd, bool forWrite, int timeoutMs) const;

private:
    int m_handle = -1;
};
