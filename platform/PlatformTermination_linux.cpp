#include "PlatformTermination.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace Platform {

namespace {

// Self-pipe: the signal handler only writes one byte; the notifier reads it
// on the event loop's thread and calls the handler there.
int g_fds[2] = {-1, -1};
QSocketNotifier *g_notifier = nullptr;
std::function<void()> g_handler;
const int kSignals[] = {SIGTERM, SIGINT, SIGHUP};

void onSignal(int)
{
    const int saved = errno;
    const char byte = 1;
    ssize_t rc = ::write(g_fds[0], &byte, 1);
    (void)rc;
    errno = saved;
}

} // namespace

bool installTerminationHandler(const std::function<void()> &handler)
{
    g_handler = handler;
    if (g_notifier)
        return true;
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, g_fds) != 0)
        return false;
    g_notifier = new QSocketNotifier(g_fds[1], QSocketNotifier::Read);
    QObject::connect(g_notifier, &QSocketNotifier::activated, [] {
        char buffer[16];
        while (::read(g_fds[1], buffer, sizeof buffer) > 0) {
        }
        if (g_handler)
            g_handler();
    });
    struct sigaction action = {};
    action.sa_handler = onSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    for (int sig : kSignals)
        ::sigaction(sig, &action, nullptr);
    return true;
}

void removeTerminationHandler()
{
    struct sigaction action = {};
    action.sa_handler = SIG_DFL;
    sigemptyset(&action.sa_mask);
    for (int sig : kSignals)
        ::sigaction(sig, &action, nullptr);
    delete g_notifier;
    g_notifier = nullptr;
    for (int &fd : g_fds) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
    g_handler = nullptr;
}

} // namespace Platform
