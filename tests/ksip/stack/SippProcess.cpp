#include "SippProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>

extern char **environ;

SippProcess::~SippProcess()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        ::waitpid(m_pid, nullptr, 0);
    }
}

bool SippProcess::available()
{
    return std::system("command -v sipp >/dev/null 2>&1") == 0;
}

bool SippProcess::start(const std::vector<std::string> &arguments)
{
    std::vector<char *> argv;
    argv.push_back(const_cast<char *>("sipp"));
    for (const std::string &a : arguments)
        argv.push_back(const_cast<char *>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    const bool ok = ::posix_spawnp(&m_pid, "sipp", &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!ok)
        m_pid = -1;
    return ok;
}

int SippProcess::wait(int timeoutMs)
{
    if (m_pid <= 0)
        return -1;
    // A child's end has no descriptor to wait on here; look every 20 ms,
    // within the caller's bound.
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    int status = 0;
    while (true) {
        const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
        if (done == m_pid)
            break;
        if (std::chrono::steady_clock::now() >= end) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
            m_pid = -1;
            return -1;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    m_pid = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
