#include "ProcessRunner.h"

#include "PlatformProcessExit.h"

#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char **environ;

namespace {

using Clock = std::chrono::steady_clock;

int msLeft(Clock::time_point deadline)
{
    const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return ms > 0 ? int(ms) : 0;
}

} // namespace

ProcessRunner::Result ProcessRunner::run(const QString &program, const QStringList &arguments, int finishTimeoutMs,
                                         const QStringList &environment)
{
    Result result;
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return result;

    const QByteArray path = program.toLocal8Bit();
    std::vector<QByteArray> store;
    store.reserve(size_t(arguments.size()) + 1);
    store.push_back(path);
    for (const QString &a : arguments)
        store.push_back(a.toLocal8Bit());
    std::vector<char *> argv;
    for (QByteArray &s : store)
        argv.push_back(s.data());
    argv.push_back(nullptr);

    // The inherited environment, less the names given, then the given entries.
    std::vector<QByteArray> envStore;
    std::vector<char *> envp;
    char **childEnv = environ;
    if (!environment.isEmpty()) {
        std::vector<QByteArray> names;
        for (const QString &e : environment) {
            envStore.push_back(e.toLocal8Bit());
            names.push_back(envStore.back().left(envStore.back().indexOf('=') + 1));
        }
        for (char **e = environ; e && *e; ++e) {
            bool replaced = false;
            for (const QByteArray &n : names)
                replaced = replaced || (!n.isEmpty() && std::strncmp(*e, n.constData(), size_t(n.size())) == 0);
            if (!replaced)
                envp.push_back(*e);
        }
        for (QByteArray &s : envStore)
            envp.push_back(s.data());
        envp.push_back(nullptr);
        childEnv = envp.data();
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], 1);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The child starts with default signal handling whatever the caller set.
    sigset_t all;
    sigfillset(&all);
    posix_spawnattr_setsigdefault(&attr, &all);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    pid_t pid = -1;
    const int rc = ::posix_spawn(&pid, path.constData(), &actions, &attr, argv.data(), childEnv);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return result;
    }
    result.started = true;

    const auto deadline = Clock::now() + std::chrono::milliseconds(finishTimeoutMs);
    char buf[4096];
    for (;;) {
        pollfd p{fds[0], POLLIN, 0};
        const int r = ::poll(&p, 1, msLeft(deadline));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break;  // time is up
        const ssize_t n = ::read(fds[0], buf, sizeof(buf));
        if (n < 0 && (errno == EINTR || errno == EAGAIN))
            continue;
        if (n <= 0)
            break;  // end of output
        result.output.append(buf, int(n));
    }
    ::close(fds[0]);

    // Its output has ended; sleep on its end (a process descriptor) rather
    // than asking again and again.
    const PlatformProcessExit exited(pid);
    int status = 0;
    for (;;) {
        const pid_t w = ::waitpid(pid, &status, WNOHANG);
        if (w == pid) {
            result.finished = true;
            break;
        }
        if (w < 0 && errno != EINTR)
            break;
        if (msLeft(deadline) == 0) {
            ::kill(pid, SIGKILL);
            while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
            }
            return result;
        }
        if (exited.isValid()) {
            pollfd p{exited.handle(), POLLIN, 0};
            ::poll(&p, 1, msLeft(deadline));
        } else {
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
    }
    if (result.finished && WIFEXITED(status))
        result.exitCode = WEXITSTATUS(status);
    return result;
}
