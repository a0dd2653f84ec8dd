#pragma once

#include <string>
#include <sys/types.h>
#include <vector>

// One SIPp run on loopback, started by a test and always reaped: SIPp's own
// -timeout bounds how long it runs, and the destructor kills what is left.
class SippProcess
{
public:
    SippProcess() = default;
    ~SippProcess();
    SippProcess(const SippProcess &) = delete;
    SippProcess &operator=(const SippProcess &) = delete;

    // True when a sipp binary is on the PATH.
    static bool available();

    // Starts sipp with `arguments` (after the program name); stdout and
    // stderr go to /dev/null, stdin is closed.
    bool start(const std::vector<std::string> &arguments);
    // Waits up to timeoutMs for sipp to end; its exit code, or -1 when it
    // was still running (it is then killed) or died by a signal.
    int wait(int timeoutMs);

private:
    pid_t m_pid = -1;
};
