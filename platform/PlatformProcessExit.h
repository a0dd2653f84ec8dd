#pragma once

#include <QtGlobal>

// A descriptor that becomes readable when one child process ends (a pidfd),
// so a thread can sleep on the process's end together with its stop
// instead of asking every few hundred milliseconds.
class PlatformProcessExit
{
public:
    explicit PlatformProcessExit(qint64 pid);
    ~PlatformProcessExit();

    // False when the system offers no such descriptor (or `pid` is gone):
    // the caller then waits the old way.
    bool isValid() const;
    int handle() const;

private:
    int m_fd;

    PlatformProcessExit(const PlatformProcessExit &) = delete;
    PlatformProcessExit &operator=(const PlatformProcessExit &) = delete;
};
