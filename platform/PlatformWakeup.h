#pragma once

// A wake-up descriptor (an eventfd) for threads that wait on a socket: a
// waiting thread polls the socket together with this descriptor, and another
// thread ends the wait at once with signal(). Once signalled it stays
// readable until clear(), so every later wait returns at once too.
class PlatformWakeup
{
public:
    enum class Wait { Readable, Woken, TimedOut, Failed };

    PlatformWakeup();
    ~PlatformWakeup();

    // False when the descriptor could not be made; waits then only time out
    // or see the socket.
    bool isValid() const;
    void signal();
    void clear();

    // Waits until `fd` is readable (or reports an error or hang-up, which a
    // read then reports), until signal() or until `timeoutMs` has passed
    // (below 0: no limit). A signalled wake-up wins over a readable socket.
    Wait waitReadable(int fd, int timeoutMs) const;

private:
    int m_fd;

    PlatformWakeup(const PlatformWakeup &) = delete;
    PlatformWakeup &operator=(const PlatformWakeup &) = delete;
};
